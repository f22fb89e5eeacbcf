#include "value_tester.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <vector>

#include "evaluation/item_readout.h"

namespace korvit::editor {

using namespace definition;

ValueTester::ValueTester(ADXDefinition& def, ADXObject* item, QWidget* parent)
    : QGroupBox(QStringLiteral("Try it"), parent),
      def_(def),
      value_(As<ADXValue>(item)),
      mask_(As<ADXBitmask>(item)) {
    setObjectName("tester");
    auto* form = new QFormLayout(this);
    raw_ = new QLineEdit(this);
    raw_->setObjectName("raw");
    raw_->setPlaceholderText(QStringLiteral("raw number, e.g. 128 or 0x80"));
    reply_ = new QLineEdit(this);
    reply_->setObjectName("reply");
    reply_->setPlaceholderText(QStringLiteral("whole reply in hex, e.g. F4 95 01 ..."));
    reply_label_ = new QLabel(this);
    computed_ = new QLabel(this);
    text_ = new QLabel(this);
    alarm_ = new QLabel(this);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    for (QLabel* l : {computed_, text_, alarm_})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Raw number"), raw_);
    form->addRow(reply_label_, reply_);
    form->addRow(value_ != nullptr ? QStringLiteral("ComputeValue") : QStringLiteral("State"),
                 computed_);
    form->addRow(value_ != nullptr ? QStringLiteral("FormatValue") : QStringLiteral("Text"), text_);
    form->addRow(QStringLiteral("Alarm"), alarm_);
    form->addRow(note_);
    connect(raw_, &QLineEdit::textEdited, this, [this] {
        reply_->clear();
        Update();
    });
    connect(reply_, &QLineEdit::textEdited, this, [this] {
        raw_->clear();
        Update();
    });
    Update();
}

QString ValueTester::result_text() const {
    return computed_->text() + " | " + text_->text() + " | " + alarm_->text();
}

void ValueTester::Update() {
    const ADXObject* command =
        def_.FindByHash(value_ != nullptr ? value_->parentcmdidhash : mask_->parentcmdidhash);
    const auto* send = As<ADXCSendCommand>(command);
    reply_label_->setText(
        command != nullptr
            ? QStringLiteral("Reply of %1")
                  .arg(QString::fromLatin1(command->id().data(),
                                           static_cast<qsizetype>(command->id().size())))
            : QStringLiteral("Packet"));
    note_->clear();
    std::vector<uint8_t> bytes;
    const QString reply = reply_->text().trimmed();
    evaluation::Packet packet = evaluation::Packet::None();
    if (!reply.isEmpty()) {
        QString digits = reply;
        digits.remove(QRegularExpression("0x", QRegularExpression::CaseInsensitiveOption));
        digits.remove(QRegularExpression("[\\s,]"));
        if (digits.size() % 2 != 0 || digits.contains(QRegularExpression("[^0-9A-Fa-f]"))) {
            note_->setText(QStringLiteral("The reply must be pairs of hex digits"));
            computed_->clear();
            text_->clear();
            alarm_->clear();
            return;
        }
        for (int i = 0; i < digits.size(); i += 2)
            bytes.push_back(static_cast<uint8_t>(digits.mid(i, 2).toUInt(nullptr, 16)));
        // The packet is the part of the reply the command hands on.
        size_t start = 0;
        size_t size = bytes.size();
        if (send != nullptr) {
            start = std::min<size_t>(send->packetoffset, bytes.size());
            size = std::min<size_t>(send->packetsize, bytes.size() - start);
            if (bytes.size() < send->replysize) {
                note_->setText(QStringLiteral("%1 of %2 reply bytes given; the rest read as 0")
                                   .arg(bytes.size())
                                   .arg(send->replysize));
            }
        }
        packet = evaluation::Packet{bytes.data() + start, size};
    } else {
        QString t = raw_->text().trimmed();
        bool ok = true;
        qulonglong raw = 0;
        if (t.startsWith("0x", Qt::CaseInsensitive)) {
            raw = t.mid(2).toULongLong(&ok, 16);
        } else if (!t.isEmpty()) {
            raw = t.toULongLong(&ok);
        }
        if (!ok || raw > 0xFFFFFFFFull) {
            note_->setText(QStringLiteral("A raw number from 0 to 4294967295"));
            return;
        }
        (value_ != nullptr ? value_->last_raw : mask_->last_raw) = static_cast<uint32_t>(raw);
    }
    if (mask_ != nullptr) {
        char text[evaluation::BitmaskReadout::kTextCapacity] = {};
        const int state = mask_->BitmaskText(text, sizeof text, def_, packet);
        const bool alarm = ((mask_->flags & ADXBitmask::kAlarmWhenTrue) != 0 && state != 0) ||
                           ((mask_->flags & ADXBitmask::kAlarmWhenFalse) != 0 && state == 0);
        computed_->setText(state != 0 ? QStringLiteral("true") : QStringLiteral("false"));
        text_->setText(QString::fromLatin1(text));
        alarm_->setText(alarm ? QStringLiteral("alarm") : QStringLiteral("none"));
        alarm_->setStyleSheet(alarm ? QStringLiteral("color: #c00000; font-weight: bold")
                                    : QString());
        if (packet.present())
            note_->setText(QStringLiteral("Raw number 0x%1").arg(mask_->last_raw.load(), 0, 16));
        return;
    }
    const double v = value_->ComputeValue(def_, packet);
    char text[evaluation::ValueReadout::kTextCapacity] = {};
    value_->FormatValue(text, sizeof text, def_, packet);
    const char* alarm =
        evaluation::AlarmName(evaluation::ItemListAlarm(*value_, static_cast<float>(v)));
    computed_->setText(QString::number(v, 'g', 10));
    text_->setText(QString::fromLatin1(text));
    alarm_->setText(alarm != nullptr ? QString::fromLatin1(alarm) : QStringLiteral("none"));
    alarm_->setStyleSheet(alarm != nullptr ? QStringLiteral("color: #c00000; font-weight: bold")
                                           : QString());
    if (packet.present()) {
        note_->setText(note_->text().isEmpty()
                           ? QStringLiteral("Raw number %1").arg(value_->last_raw.load())
                           : note_->text() +
                                 QStringLiteral("; raw number %1").arg(value_->last_raw.load()));
    }
}

}  // namespace korvit::editor
