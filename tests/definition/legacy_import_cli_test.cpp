#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "definition/definition.h"
#include "definition/legacy/ads_import.h"

using namespace korvit::definition;

namespace {

const std::string kSample = std::string(KORVIT_SOURCE_DIR) + "/tests/definition/legacy/sample.ads";

std::string RefID(const ADXObject* object) {
    return object != nullptr ? std::string(object->id()) : "(none)";
}

/// Runs the CLI and returns its exit status, with its standard error in `err`.
int RunCli(const std::string& args, std::string& err) {
    const auto err_path =
        std::filesystem::temp_directory_path() / ("korvit_cli_err_" + std::to_string(::getpid()));
    const std::string command =
        std::string(KORVIT_CLI_PATH) + " " + args + " 2>" + err_path.string();
    const int status = std::system(command.c_str());
    err.clear();
    if (std::FILE* f = std::fopen(err_path.c_str(), "rb")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) err.append(buf, n);
        std::fclose(f);
    }
    std::filesystem::remove(err_path);
    return status;
}

void ExpectSameObject(const ADXObject& a, const ADXObject& b) {
    SCOPED_TRACE(std::string(a.id()));
    ASSERT_EQ(a.type(), b.type());
    EXPECT_EQ(a.id(), b.id());
    EXPECT_EQ(a.idhash(), b.idhash());
    EXPECT_EQ(a.title().view(), b.title().view());
    EXPECT_EQ(a.desc().view(), b.desc().view());
    if (auto* c = As<ADXCSendCommand>(&a)) {
        auto* d = As<ADXCSendCommand>(&b);
        EXPECT_EQ(c->bytes(), d->bytes());
        EXPECT_EQ(c->replysize, d->replysize);
        EXPECT_EQ(c->replytimeout, d->replytimeout);
        EXPECT_EQ(c->packetoffset, d->packetoffset);
        EXPECT_EQ(c->packetsize, d->packetsize);
        EXPECT_EQ(c->flags, d->flags);
    } else if (auto* t = As<ADXLookupTable>(&a)) {
        auto* u = As<ADXLookupTable>(&b);
        EXPECT_EQ(t->inputtype, u->inputtype);
        EXPECT_EQ(t->outputtype(), u->outputtype());
        ASSERT_EQ(t->entries().size(), u->entries().size());
        for (size_t i = 0; i < t->entries().size(); ++i) {
            EXPECT_FLOAT_EQ(t->entries()[i].input, u->entries()[i].input);
            EXPECT_FLOAT_EQ(t->entries()[i].output, u->entries()[i].output);
        }
    } else if (auto* v = As<ADXValue>(&a)) {
        auto* w = As<ADXValue>(&b);
        EXPECT_EQ(v->expression().text(), w->expression().text());
        EXPECT_EQ(v->flags, w->flags);
        EXPECT_EQ(v->packetoffset, w->packetoffset);
        EXPECT_EQ(v->sizeinbits, w->sizeinbits);
        EXPECT_EQ(v->outputtype, w->outputtype);
        EXPECT_EQ(v->units().view(), w->units().view());
        EXPECT_FLOAT_EQ(v->alarm_low, w->alarm_low);
        EXPECT_FLOAT_EQ(v->alarm_high, w->alarm_high);
        EXPECT_FLOAT_EQ(v->range_low, w->range_low);
        EXPECT_FLOAT_EQ(v->range_high, w->range_high);
        EXPECT_EQ(RefID(v->lookup), RefID(w->lookup));
        ASSERT_EQ(v->vars().size(), w->vars().size());
    } else if (auto* m = As<ADXBitmask>(&a)) {
        auto* n = As<ADXBitmask>(&b);
        EXPECT_EQ(m->flags, n->flags);
        EXPECT_EQ(m->packetoffset, n->packetoffset);
        EXPECT_EQ(m->operand, n->operand);
        EXPECT_EQ(m->result, n->result);
        EXPECT_EQ(m->bitop, n->bitop);
        EXPECT_EQ(m->truestring().view(), n->truestring().view());
        EXPECT_EQ(m->falsestring().view(), n->falsestring().view());
    } else if (auto* l = As<ADXListView>(&a)) {
        auto* k = As<ADXListView>(&b);
        ASSERT_EQ(l->count(), k->count());
        for (size_t i = 0; i < l->count(); ++i) {
            EXPECT_EQ(l->entries()[i].itemidhash, k->entries()[i].itemidhash);
            EXPECT_EQ(RefID(l->entries()[i].item), RefID(k->entries()[i].item));
        }
    }
}

}  // namespace

TEST(LegacyImportCli, ImportedDefinitionSavesAndLoadsBackUnchanged) {
    ADXDefinition imported;
    std::string error;
    ASSERT_EQ(legacy::ImportADS(kSample, imported, error), 1) << error;
    // The sample repeats unique id 1, so its second value is renumbered to 2.
    ASSERT_NE(As<ADXValue>(imported.FindByID("2")), nullptr);
    EXPECT_EQ(As<ADXValue>(imported.FindByID("2"))->lookup, imported.FindByID("40"));

    const auto out = std::filesystem::temp_directory_path() /
                     ("korvit_import_" + std::to_string(::getpid()) + ".adx");
    std::string err;
    ASSERT_EQ(RunCli("import " + kSample + " " + out.string(), err), 0) << err;
    ADXDefinition loaded;
    ASSERT_EQ(loaded.Load(out.string(), error), 1) << error;
    std::filesystem::remove(out);

    EXPECT_EQ(loaded.baud, imported.baud);
    EXPECT_EQ(loaded.author().view(), imported.author().view());
    EXPECT_EQ(loaded.desc().view(), imported.desc().view());
    EXPECT_EQ(RefID(loaded.monitor_command), RefID(imported.monitor_command));
    ASSERT_EQ(loaded.size(), imported.size());
    for (size_t i = 0; i < imported.size(); ++i) {
        ExpectSameObject(*imported.objects()[i], *loaded.objects()[i]);
    }
}

TEST(LegacyImportCli, FailuresPrintOneLineAndExitNonZero) {
    std::string err;
    const auto dir = std::filesystem::temp_directory_path();
    EXPECT_NE(RunCli("import " + (dir / "korvit_no_such.ads").string() + " " +
                         (dir / "korvit_never.adx").string(),
                     err),
              0);
    EXPECT_NE(err.find("Error opening file"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir / "korvit_never.adx"));

    EXPECT_NE(RunCli("import " + kSample + " " + (dir / "no_such_dir" / "out.adx").string(), err),
              0);
    EXPECT_NE(err.find("cannot write the definition"), std::string::npos) << err;
}
