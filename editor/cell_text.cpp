#include "cell_text.h"

#include <QRegularExpression>

namespace korvit::editor {

using namespace definition;

QString Latin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString Hex8(qlonglong v) {
    return QStringLiteral("0x%1")
        .arg(static_cast<qulonglong>(v), 8, 16, QChar('0'))
        .toUpper()
        .replace("0X", "0x");
}
QString Hex6(qlonglong v) {
    return QStringLiteral("0x%1")
        .arg(static_cast<qulonglong>(v), 6, 16, QChar('0'))
        .toUpper()
        .replace("0X", "0x");
}

std::optional<qulonglong> ParseHex(QString text) {
    text = text.trimmed();
    if (text.startsWith("0x", Qt::CaseInsensitive)) text = text.mid(2);
    if (text.isEmpty() || text.size() > 8) return std::nullopt;
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok, 16);
    if (!ok) return std::nullopt;
    return v;
}

QColor ToQColor(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
uint32_t FromQColor(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

const ADXObject* Target(const ADXDefinition& def, const RefValue& ref) {
    return ref.object != nullptr ? ref.object : def.FindByHash(ref.hash);
}

QString ObjectLabel(const ADXObject* object) {
    if (object == nullptr) return QStringLiteral("(none)");
    const QString id = Latin1(object->id());
    if (object->title().empty()) return id;
    return id + QStringLiteral(" - ") + Latin1(object->title().view());
}

QString FormatCell(const ADXDefinition& def, FieldKind kind, const QVariant& v,
                   const std::vector<Choice>& choices) {
    switch (kind) {
        case FieldKind::kId:
        case FieldKind::kText:
            return v.isNull() ? QString() : QString::fromLatin1(v.toByteArray());
        case FieldKind::kUnsigned:
            return QString::number(v.toLongLong());
        case FieldKind::kFloat:
            return QString::number(v.toDouble(), 'g', 9);
        case FieldKind::kFlags:
        case FieldKind::kHex:
            return Hex8(v.toLongLong());
        case FieldKind::kColor:
            return Hex6(v.toLongLong());
        case FieldKind::kBytes:
            return QString::fromLatin1(v.toByteArray().toHex(' ').toUpper());
        case FieldKind::kEnum: {
            for (const Choice& c : choices) {
                if (c.value == static_cast<uint32_t>(v.toLongLong()))
                    return QString::fromLatin1(c.name);
            }
            return QString::number(v.toLongLong());
        }
        case FieldKind::kReference: {
            const auto ref = v.value<RefValue>();
            if (ref.hash == 0 && ref.object == nullptr) return QStringLiteral("(none)");
            const ADXObject* target = Target(def, ref);
            if (target == nullptr) return QStringLiteral("(missing %1)").arg(Hex8(ref.hash));
            return Latin1(target->id());
        }
        default:
            return QString();
    }
}

std::optional<QVariant> ParseCell(const ADXDefinition& def, FieldKind kind, const QString& text,
                                  double min, double max, size_t max_length, uint32_t ref_mask,
                                  const std::vector<Choice>& choices, QString& why) {
    switch (kind) {
        case FieldKind::kId:
        case FieldKind::kText: {
            const QByteArray bytes = text.toLatin1();
            if (max_length != 0 && static_cast<size_t>(bytes.size()) > max_length) {
                why = QStringLiteral("At most %1 characters").arg(max_length);
                return std::nullopt;
            }
            if (kind == FieldKind::kText && bytes.isEmpty()) return QVariant();
            return QVariant(bytes);
        }
        case FieldKind::kUnsigned: {
            bool ok = false;
            const qlonglong v = text.trimmed().toLongLong(&ok);
            if (!ok || v < min || v > max) {
                why = QStringLiteral("A whole number from %1 to %2")
                          .arg(qlonglong(min))
                          .arg(qlonglong(max));
                return std::nullopt;
            }
            return QVariant(v);
        }
        case FieldKind::kFloat: {
            bool ok = false;
            const double v = text.trimmed().toDouble(&ok);
            if (!ok || v < min || v > max) {
                why = QStringLiteral("A number");
                return std::nullopt;
            }
            return QVariant(static_cast<double>(static_cast<float>(v)));
        }
        case FieldKind::kFlags:
        case FieldKind::kHex:
        case FieldKind::kColor: {
            const auto v = ParseHex(text);
            const double limit =
                kind == FieldKind::kColor ? 0xFFFFFF : (max > 0 ? max : 4294967295.0);
            if (!v || static_cast<double>(*v) > limit) {
                why = kind == FieldKind::kColor ? QStringLiteral("Six hexadecimal digits, 0xBBGGRR")
                                                : QStringLiteral("Up to eight hexadecimal digits");
                return std::nullopt;
            }
            return QVariant(static_cast<qlonglong>(*v));
        }
        case FieldKind::kBytes: {
            QByteArray out;
            for (const QString& token :
                 text.split(QRegularExpression("[\\s,]+"), Qt::SkipEmptyParts)) {
                QString t = token;
                if (t.startsWith("0x", Qt::CaseInsensitive)) t = t.mid(2);
                bool ok = false;
                const uint v = t.toUInt(&ok, 16);
                if (!ok || t.size() > 2) {
                    why = QStringLiteral("\"%1\" is not a hex byte").arg(token);
                    return std::nullopt;
                }
                out.push_back(static_cast<char>(v));
            }
            if (max_length != 0 && static_cast<size_t>(out.size()) > max_length) {
                why = QStringLiteral("At most %1 bytes are saved").arg(max_length);
                return std::nullopt;
            }
            return QVariant(out);
        }
        case FieldKind::kEnum: {
            const QString t = text.trimmed();
            for (const Choice& c : choices) {
                if (t.compare(QString::fromLatin1(c.name), Qt::CaseInsensitive) == 0)
                    return QVariant(qlonglong(c.value));
            }
            bool ok = false;
            const qlonglong v = t.toLongLong(&ok);
            if (!ok || v < 0 || v > 4294967295LL) {
                QStringList names;
                for (const Choice& c : choices) names << QString::fromLatin1(c.name);
                why = QStringLiteral("One of: %1").arg(names.join(", "));
                return std::nullopt;
            }
            return QVariant(v);
        }
        case FieldKind::kReference: {
            const QString t = text.trimmed();
            if (t.isEmpty() || t == QStringLiteral("(none)"))
                return QVariant::fromValue(RefValue{});
            if (t.startsWith("(missing ")) {
                const auto hash = ParseHex(t.mid(9, 10));
                if (hash)
                    return QVariant::fromValue(RefValue{static_cast<uint32_t>(*hash), nullptr});
            }
            const QByteArray id = t.toLatin1();
            for (const auto& o : def.objects()) {
                if ((o->type() & ref_mask) != 0 &&
                    o->id() == std::string_view(id.constData(), static_cast<size_t>(id.size()))) {
                    return QVariant::fromValue(RefTo(o.get()));
                }
            }
            why = QStringLiteral("No object with the id \"%1\" that fits here").arg(t);
            return std::nullopt;
        }
        default:
            why = QStringLiteral("Not editable here");
            return std::nullopt;
    }
}

}  // namespace korvit::editor
