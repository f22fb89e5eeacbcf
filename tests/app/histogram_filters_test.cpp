// The "Only when" filters: their text form, how they bind to a definition, and the file that
// keeps them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/histogram_filters.h"
#include "definition/definition.h"
#include "evaluation/histogram_filter.h"

using namespace korvit;
using evaluation::HistogramFilter;

namespace {

TEST(HistogramFilter, TextFormReadsBackAndRejectsWhatItCannotMean) {
    for (const char* text : {"closedloop=true", "closedloop=false", "rpm=1200..2400",
                             "cts=-40..85.5", "map=0.1..0.1"}) {
        const auto filter = HistogramFilter::Parse(text);
        ASSERT_TRUE(filter) << text;
        EXPECT_EQ(filter->Format(), text);
        EXPECT_EQ(HistogramFilter::Parse(filter->Format()), filter);
    }
    const auto range = HistogramFilter::Parse(" rpm = 1e3 .. +2000 ");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->kind, HistogramFilter::Kind::kRange);
    EXPECT_EQ(range->item, "rpm");
    EXPECT_EQ(range->low, 1000.0);
    EXPECT_EQ(range->high, 2000.0);
    EXPECT_FALSE(HistogramFilter::Parse("closedloop=false")->state);

    for (const char* bad : {"", "rpm", "=true", "rpm=", "rpm=yes", "rpm=1..", "rpm=..2", "rpm=2..1",
                            "rpm=1..nan", "rpm=1..inf", "rpm=a..b"}) {
        std::string error;
        EXPECT_FALSE(HistogramFilter::Parse(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(HistogramFilters, BindToTheDefinitionAndLiveInTheirOwnFile) {
    definition::ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error), 1) << error;
    auto* vetable = definition::As<definition::ADXHistogram>(def.FindByID("vetable"));
    auto* sparktable = definition::As<definition::ADXHistogram>(def.FindByID("sparktable"));

    app::HistogramFilters filters;
    filters.Set("vetable", *HistogramFilter::Parse("closedloop=true"));
    filters.Set("sparktable", *HistogramFilter::Parse("closedloop=1..2"));  // not a value
    filters.Set("elsewhere", *HistogramFilter::Parse("rpm=0..1000"));
    const auto problems = filters.Apply(def);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("sparktable"), std::string::npos) << problems[0];
    ASSERT_NE(vetable->filter(), nullptr);
    EXPECT_EQ(vetable->filter()->filter().item, "closedloop");
    EXPECT_EQ(sparktable->filter(), nullptr);
    filters.Remove("vetable");
    filters.Apply(def);
    EXPECT_EQ(vetable->filter(), nullptr);
    filters.Set("vetable", *HistogramFilter::Parse("rpm=800..3000"));
    filters.Apply(def);
    app::HistogramFilters::Detach(def);
    EXPECT_EQ(vetable->filter(), nullptr);

    char tmpl[] = "/tmp/korvit-filters-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(tmpl);
    const std::string settings = (dir / "sub" / "Settings.dat").string();
    const std::string path = app::HistogramFiltersPath(settings);
    EXPECT_EQ(path, (dir / "sub" / "korvit-histograms.ini").string());
    EXPECT_EQ(app::HistogramFiltersPath(""), "");
    ASSERT_EQ(filters.Write(path), 1);
    app::HistogramFilters read;
    read.Set("stale", *HistogramFilter::Parse("a=true"));
    ASSERT_EQ(read.Read(path), 1);
    EXPECT_EQ(read.Get("vetable"), filters.Get("vetable"));
    EXPECT_EQ(read.Get("sparktable"), filters.Get("sparktable"));
    EXPECT_EQ(read.Get("elsewhere"), filters.Get("elsewhere"));
    EXPECT_EQ(read.all().size(), 4u);  // read adds to what is there

    // Lines that cannot be read are skipped; the good ones around them stay.
    app::HistogramFilters parsed;
    parsed.Parse(
        "vetable=rpm=1..2\r\nbroken\n=x=true\nsparktable=closedloop=sometimes\n"
        "x=map=5..6");
    EXPECT_EQ(parsed.all().size(), 2u);
    EXPECT_EQ(parsed.Get("x")->high, 6.0);
    EXPECT_EQ(app::HistogramFilters().Read((dir / "missing.ini").string()), 0);
    std::filesystem::remove_all(dir);
}

}  // namespace
