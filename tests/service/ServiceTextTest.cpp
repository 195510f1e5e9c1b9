// SPDX-License-Identifier: MIT
// The command line, the string and message tables and the language choice.
#include "app/base/TextFormat.h"
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

TEST(ServiceCommandLine, KeywordsAfterDashOrSlash)
{
    EXPECT_EQ(parse({"-install"}), ServiceCommand::Install);
    EXPECT_EQ(parse({"/install"}), ServiceCommand::Install);
    EXPECT_EQ(parse({"-stop"}), ServiceCommand::Stop);
    EXPECT_EQ(parse({"/remove"}), ServiceCommand::Remove);
    EXPECT_EQ(parse({"-debug", "more", "args"}), ServiceCommand::Debug);
    EXPECT_EQ(parse({"/debug"}), ServiceCommand::Debug);
}

TEST(ServiceCommandLine, AnythingElseRunsTheService)
{
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

TEST(ServiceStrings, EveryTextInBothLanguages)
{
    for (unsigned id = 0; id < 40; ++id) {
        const bool known = (id >= 2 && id <= 12) || (id >= 14 && id <= 18);
        EXPECT_EQ(!serviceString(id, Language::English).empty(), known) << id;
        EXPECT_EQ(!serviceString(id, Language::Japanese).empty(), known) << id;
    }
    EXPECT_EQ(serviceString(ssid::Stopping, Language::Japanese), "停止中 %s...");
    EXPECT_EQ(formatText(serviceString(ssid::InstallFailed, Language::English), {"N", "why"}),
              "Unable to install N - why\n");
}

TEST(ServiceStrings, EventRecordsFromTheMessageTable)
{
    EXPECT_EQ(eventId(EventType::Information), 0x40000003u);
    EXPECT_EQ(eventId(EventType::Warning), 0x80000002u);
    EXPECT_EQ(eventId(EventType::Error), 0xC0000001u);
    EXPECT_EQ(eventRecordText(EventType::Warning, "x", Language::English), "Vigilsvc Warning: x.\r\n");
    EXPECT_EQ(eventRecordText(EventType::Error, "%1 y", Language::Japanese), "Vigilsvc エラー: %1 y.\r\n")
        << "an insertion is not scanned again";
}

TEST(ServiceStrings, UsageLines)
{
    EXPECT_EQ(usageText(), "Vigilsvc -install          to install the service\n"
                           "Vigilsvc -remove           to remove the service\n"
                           "Vigilsvc -debug <params>   to run as a console app for debugging\n"
                           "\nStartServiceCtrlDispatcher being called.\n"
                           "This may take several seconds.  Please wait.\n");
}

} // namespace
} // namespace vigilon::svc
