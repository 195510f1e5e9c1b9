// SPDX-License-Identifier: MIT
// The command line, the language choice and the event records.
#include "service/ServiceCommand.h"
#include "service/ServiceStrings.h"

#include <gtest/gtest.h>

#include <vector>

namespace vigilon::svc {
namespace {

ServiceCommand parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "vigilsvc");
    return parseServiceCommand(static_cast<int>(args.size()), args.data());
}

TEST(ServiceCommandLine, OnlyAnExactFirstKeywordAfterDashOrSlashCounts)
{
    EXPECT_EQ(parse({"-install"}), ServiceCommand::Install);
    EXPECT_EQ(parse({"/install"}), ServiceCommand::Install);
    EXPECT_EQ(parse({"-stop"}), ServiceCommand::Stop);
    EXPECT_EQ(parse({"/remove"}), ServiceCommand::Remove);
    EXPECT_EQ(parse({"-debug", "more", "args"}), ServiceCommand::Debug);
    EXPECT_EQ(parse({}), ServiceCommand::Service);
    for (const char *arg : {"-Install", "-INSTALL", "/Debug", "install", "--install", "-install ", "-installx",
                            "-inst", "-", "/", "", "+debug", "\\remove"})
        EXPECT_EQ(parse({arg}), ServiceCommand::Service) << '"' << arg << '"';
    EXPECT_EQ(parse({"x", "-install"}), ServiceCommand::Service) << "only the first argument counts";
    const char *nullArg[] = {"vigilsvc", nullptr};
    EXPECT_EQ(parseServiceCommand(2, nullArg), ServiceCommand::Service);
}

TEST(ServiceStrings, LanguageFollowsTheMessagesLocale)
{
    EXPECT_EQ(languageFromLocale(nullptr, nullptr, nullptr), Language::English);
    EXPECT_EQ(languageFromLocale(nullptr, nullptr, "ja_JP.UTF-8"), Language::Japanese);
    EXPECT_EQ(languageFromLocale(nullptr, "ja_JP.UTF-8", "en_US.UTF-8"), Language::Japanese);
    EXPECT_EQ(languageFromLocale("C", "ja_JP.UTF-8", "ja_JP.UTF-8"), Language::English) << "LC_ALL wins";
    EXPECT_EQ(languageFromLocale("", "", "ja"), Language::Japanese) << "empty values count as unset";
    EXPECT_EQ(languageFromLocale(nullptr, "en_GB", "ja_JP"), Language::English);
    EXPECT_EQ(languageFromLocale(nullptr, nullptr, "jv_ID"), Language::English);
}

// The ids are those of the message table in Vigilsvc.exe (tests/win).
TEST(ServiceStrings, EventRecordsFromTheMessageTable)
{
    EXPECT_EQ(eventId(EventType::Information), 0x40000003u);
    EXPECT_EQ(eventId(EventType::Warning), 0x80000002u);
    EXPECT_EQ(eventId(EventType::Error), 0xC0000001u);
    EXPECT_EQ(eventRecordText(EventType::Warning, "x", Language::English), "Vigilsvc Warning: x.\r\n");
    EXPECT_EQ(eventRecordText(EventType::Error, "%1 y", Language::Japanese), "Vigilsvc エラー: %1 y.\r\n")
        << "an insertion is not scanned again";
}

} // namespace
} // namespace vigilon::svc
