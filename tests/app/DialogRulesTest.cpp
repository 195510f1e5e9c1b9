// SPDX-License-Identifier: MIT
// The dialogs' rules without a toolkit: data exchange, the port settings and
// target host forms, and the main dialog's rules on a real frame.
#include "base/SecureRandom.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/dialogs/WindowPlace.h"
#include "app/dialogs/BalloonHover.h"
#include "app/dialogs/DataExchange.h"
#include "app/dialogs/DialogLayout.h"
#include "app/text/FailureText.h"
#include "app/dialogs/MainDialogController.h"
#include "app/text/TimeText.h"
#include "store/Settings.h"
#include "probes/DnsAnswer.h"
#include "app/dialogs/OutageListController.h"
#include "tests/support/DialogVerdict.h"
#include "tests/support/FakeHistory.h"
#include "tests/support/TempDir.h"
#include "tests/support/FrameFixture.h"

#include <fstream>
#include <iterator>
#include <tuple>
#include <utility>

namespace vigilon::test {
namespace {

using Texts = std::vector<std::string>;
using Row = std::array<std::string, kListColumns>;
std::string s(unsigned id) { return loadString(id); }
using F = PortSettingsForm;
// The fake clock's start in UTC, as the list and the status show it.
const std::string kStart = "2026年 01月 01日 00:00:00";
const std::string kPortRange = "1 から 64554 までの整数を入力してください。";

// A port settings dialog opened on the form fill sets up: the form, its
// controls and the prompter its questions and messages go to.
struct OpenedForm {
    explicit OpenedForm(const std::function<void(PortSettingsForm &)> &fill)
    {
        fill(form);
        form.init(c);
    }
    // Choosing a kind in the dialog's list.
    void choose(int kind)
    {
        c.setProtocolIndex(kind);
        form.onProtocolChanged(c, kind);
    }
    // OK on what the controls hold: accepted when no message is due, else
    // that message alone, the focus on the field at fault where one is.
    bool ok(const std::string &message, FakeEditField FakePortSettingsControls::*focus)
    {
        const bool accepted = form.onOk(c, prompter);
        EXPECT_EQ(accepted, message.empty());
        EXPECT_EQ(prompter.texts(), message.empty() ? Texts{} : Texts{message});
        EXPECT_EQ(focus ? (c.*focus).focused : 1, 1);
        return accepted;
    }
    FakePrompter prompter;
    FakePortSettingsControls c;
    PortSettingsForm form;
};

TEST(DataExchange, readsNumbersWithTheFrameworksChecksAndMessages)
{
    using O = DataExchange::Outcome;
    const std::string integer = "整数を入力してください。", positive = "正の整数を入力してください。";
    // assign: out-of-range numbers reach the field; value: 9 before.
    struct Case {
        bool isSigned;
        const char *typed;
        std::int64_t low, high;
        bool assign;
        O outcome;
        std::int64_t value;
        std::string message;
    } const cases[] = {
        {true, " +42 ", 0, 100, false, O::Ok, 42, ""},
        {true, "", 1, 9, true, O::NotNumber, 9, integer},
        {true, "4x", 1, 9, true, O::NotNumber, 9, integer},
        {true, "-", 1, 9, true, O::NotNumber, 9, integer},
        {true, "70000", 1, 64554, true, O::OutOfRange, 70000, kPortRange},
        {true, "70000", 1, 64554, false, O::OutOfRange, 9, kPortRange},
        // Too large to hold: saturated, so out of range whatever the range.
        {true, "99999999999", 1, 64554, true, O::OutOfRange, 2147483648, kPortRange},
        {true, "-99999999999", -9, 9, true, O::OutOfRange, -2147483648, "-9 から 9 までの整数を入力してください。"},
        {false, " 3 ", 1, 5, false, O::Ok, 3, ""},
        {false, "+3", 1, 5, false, O::NotNumber, 9, positive},
        {false, "-3", 1, 5, false, O::NotNumber, 9, positive},
        {false, "99999999999", 1, 99999, false, O::OutOfRange, 9, "1 から 99999 までの整数を入力してください。"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        FakePrompter prompter;
        DataExchange dx(prompter);
        FakeEditField field(nullptr, c.typed);
        std::int64_t value = 9;
        std::uint32_t unsignedValue = 9;
        EXPECT_EQ(c.isSigned ? dx.readInt(field, value, c.low, c.high, c.assign)
                             : dx.readUnsigned(field, unsignedValue, std::uint32_t(c.low), std::uint32_t(c.high)),
                  c.outcome);
        EXPECT_EQ(c.isSigned ? value : std::int64_t(unsignedValue), c.value);
        expectVerdict(prompter, field, c.message);
    }
}

// OK reads the port, then the threshold, and composes the name; PING
// watches port 7 whatever was typed; Delete asks about the port the dialog
// opened with.
TEST(PortSettingsForm, checksComposesTheNameAndAsksBeforeDeleting)
{
    const std::string invalid = s(sid::InvalidPortNumber), threshold = "0 から 999999 までの整数を入力してください。";
    struct Case {
        const char *port, *threshold;
        int protocol;
        Texts messages;
        std::string name = {}; // accepted
        std::int64_t portRead = 0;
    } const cases[] = {
        {"0", "0", GenericTcp, {kPortRange, invalid}},
        {"", "0", GenericTcp, {"整数を入力してください。", invalid}},
        {"65535", "0", GenericTcp, {kPortRange}},
        {"1", "0", GenericTcp, {}, "汎用TCP (1)", 1},
        {"1234", "0", Ping, {}, "PING", 7},
        {"64554", "999999", Http, {}, "HTTP (64554)", 64554},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.port);
        FakePrompter prompter;
        PortSettingsAnswer answer{&prompter, c.port, c.protocol, "notify", c.threshold};
        PortSettingsForm form;
        form.existingEntry = 1;
        EXPECT_EQ(answer(form), c.messages.empty());
        EXPECT_EQ(prompter.texts(), c.messages);
        EXPECT_EQ(form.name, c.name);
        if (c.messages.empty()) {
            EXPECT_EQ(std::tie(form.port, form.protocol, form.command, form.existingEntry),
                      std::tuple(c.portRead, c.protocol, "notify", 0));
        }
    }

    // Choosing PING shows port 7 at once; stepping on past it puts the
    // typed port back, unless 7 was typed over. The threshold typed stays.
    // A refused threshold keeps the focus.
    OpenedForm opened([](F &f) { f.threshold = 40; });
    auto &[prompter, c, form] = opened;
    EXPECT_EQ(std::tie(c.port.value, c.port.focused, c.protocol, c.deleteEnabled), std::tuple("0", 1, 0, false));
    c.port.value = "8080";
    c.threshold.value = "77";
    const std::tuple<int, const char *, const char *> steps[] = {
        {GenericUdp, nullptr, "8080"}, {Ping, nullptr, "7"},   {Ping, nullptr, "7"}, {Http, nullptr, "8080"},
        {Ping, nullptr, "7"},          {GenericTcp, "25", "25"}, {Ping, nullptr, "7"}, {GenericUdp, nullptr, "25"}};
    for (const auto &[kind, typed, shown] : steps) {
        if (typed)
            c.port.value = typed;
        opened.choose(kind);
        EXPECT_EQ(std::tie(c.port.value, c.threshold.value), std::tuple(shown, "77")) << kind;
    }
    EXPECT_TRUE(form.onOk(c, prompter));
    EXPECT_EQ(std::tie(form.name, form.port, form.threshold), std::tuple("汎用UDP (25)", 25, 77));
    c.threshold.value = "1000000";
    EXPECT_FALSE(form.onOk(c, prompter));
    expectVerdict(prompter, c.threshold, threshold);

    PortSettingsForm edit;
    edit.port = 110;
    edit.existingEntry = 1;
    edit.init(c);
    c.port.value = "111";
    prompter.messages.clear();
    prompter.answers = {mb::IdNo};
    EXPECT_FALSE(edit.onDelete(c, prompter));
    EXPECT_TRUE(edit.onDelete(c, prompter));
    EXPECT_EQ(prompter.texts(), Texts(2, "ポート(110)監視の登録を削除しますか?"));
    EXPECT_EQ(std::pair(prompter.messages[0].style, edit.existingEntry), std::pair(mb::YesNo, 1));
}

// The HTTP status row: usable for the HTTP kinds only, its codes for "these
// codes" only. It opens on the entry's rule; OK keeps the rule in its one
// written form, or refuses a list that is none, once, with the codes
// focused. Other kinds keep whatever rule they had.
TEST(PortSettingsForm, theHttpStatusRowFollowsTheKindAndChecksTheCodes)
{
    using On = std::pair<bool, bool>;
    struct Case {
        const char *rule;
        int protocol;
        int shown;
        std::string shownCodes;
        On enabled;
        int choice = -1;
        const char *typed = nullptr;
        bool accepted = true;
        const char *result = "";
    } const cases[] = {
        {"any", Http, F::AnyReply, "", {true, false}, -1, nullptr, true, "any"},
        {"200-399", Http, F::SuccessOrRedirect, "", {true, false}, -1, nullptr, true, "2xx-3xx"},
        {"404,200", Http, F::TheseCodes, "200,404", {true, true}, -1, nullptr, true, "200,404"},
        {"any", Http, F::AnyReply, "", {true, true}, F::TheseCodes, " 204, 2xx ", true, "2xx"},
        {"any", Http, F::AnyReply, "", {true, true}, F::TheseCodes, "2xx and 3xx", false, "any"},
        {"5xx", Http, F::TheseCodes, "5xx", {true, false}, F::AnyReply, nullptr, true, "any"},
        {"junk", Http, F::TheseCodes, "junk", {true, true}, -1, nullptr, false, "junk"},
        {"junk", GenericTcp, F::TheseCodes, "junk", {false, false}, -1, nullptr, true, "junk"},
        {"any", Ping, F::AnyReply, "", {false, false}, F::TheseCodes, "oops", true, "any"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.rule) + " " + std::to_string(c.protocol) + " " + (c.typed ? c.typed : ""));
        OpenedForm opened([&c](F &f) {
            std::tie(f.port, f.protocol, f.httpStatus) = std::tuple(80, c.protocol, c.rule);
        });
        auto &[prompter, ctl, form] = opened;
        EXPECT_EQ(std::tie(ctl.httpChoice, ctl.httpCodes.value), std::tie(c.shown, c.shownCodes));
        if (c.choice >= 0) {
            ctl.setHttpStatusChoice(c.choice);
            form.onHttpStatusChoiceChanged(ctl);
        }
        if (c.typed)
            ctl.httpCodes.value = c.typed;
        EXPECT_EQ(ctl.httpEnabled, c.enabled);
        EXPECT_EQ(form.onOk(ctl, prompter), c.accepted);
        EXPECT_EQ(form.httpStatus, c.result);
        expectVerdict(prompter, ctl.httpCodes, c.accepted ? "" : s(sid::HttpStatusInvalid));
    }
}

// The request rows: usable for the HTTP kinds, the body for POST only and
// the rule's text with a rule only. What could not be sent is refused with
// its reason, the focus on the field at fault, and the form keeps what it had.
// Stepping through the kinds switches the rows and the HTTP status row on
// and off; their contents stay.
TEST(PortSettingsForm, theRequestRowsFollowKindMethodAndRuleAndRefuseWhatCannotBeSent)
{
    using On = std::tuple<bool, bool, bool>;
    PortSettingsForm opened;
    std::tie(opened.port, opened.protocol) = std::tuple(8080, Http);
    opened.request.method = MethodPost;
    opened.request.path = "/api";
    opened.request.headers = "X-A: 1\nX-B: 2";
    opened.request.body = "a=1";
    opened.request.followRedirects = true;
    opened.request.contentRule = ContentRule::fromText("lacks:error");
    opened.httpStatus = "503";
    FakePortSettingsControls ctl;
    opened.init(ctl);
    EXPECT_EQ(std::tie(ctl.method, ctl.path.value, ctl.headers.value, ctl.body.value, ctl.redirects, ctl.ruleChoice,
                       ctl.ruleText.value),
              std::make_tuple(2, "/api", "X-A: 1\nX-B: 2", "a=1", true, int(F::LacksText), "error"));
    EXPECT_EQ(ctl.requestEnabled, On(true, true, true));
    EXPECT_EQ(ctl.panel, F::KindPanel::Http);
    ctl.setMethodIndex(MethodGet);
    opened.onRequestChanged(ctl);
    EXPECT_EQ(ctl.requestEnabled, On(true, false, true));
    ctl.setContentRuleChoice(F::NoContentRule);
    opened.onRequestChanged(ctl);
    EXPECT_EQ(ctl.requestEnabled, On(true, false, false));
    for (const auto &[kind, on, panel] :
         {std::tuple{Tls, On(false, false, false), F::KindPanel::None}, {Https, On(true, false, false), F::KindPanel::Http},
          {GenericUdp, On(false, false, false), F::KindPanel::Udp}, {Ping, On(false, false, false), F::KindPanel::None},
          {GenericTcp, On(false, false, false), F::KindPanel::None}}) {
        ctl.setProtocolIndex(kind);
        opened.onProtocolChanged(ctl, kind);
        EXPECT_EQ(ctl.requestEnabled, on) << kind;
        EXPECT_EQ(ctl.panel, panel) << kind;
        EXPECT_EQ(ctl.httpEnabled, std::pair(std::get<0>(on), std::get<0>(on))) << kind;
        EXPECT_EQ(std::tie(ctl.httpChoice, ctl.httpCodes.value, ctl.path.value),
                  std::tuple(int(F::TheseCodes), "503", "/api"));
    }

    struct Case {
        int method;
        const char *path;
        const char *headers;
        int choice;
        const char *text;
        std::string message; // empty: accepted
        FakeEditField FakePortSettingsControls::*focus = nullptr;
    } const cases[] = {
        {MethodGet, "status?x=1", "Accept: */*\r\nX-A: 1", F::ContainsText, "Welcome", ""},
        {MethodHead, "/", "", F::NoContentRule, "left over", ""},
        {MethodHead, "/", "", F::ContainsText, "Welcome", s(sid::RequestHeadWithRule)},
        {MethodGet, "/a b", "", F::NoContentRule, "", s(sid::RequestPathInvalid), &FakePortSettingsControls::path},
        {MethodGet, "/", "X-A: 1\nNo colon here", F::NoContentRule, "",
         formatText(s(sid::RequestHeaderInvalid), {"No colon here"}), &FakePortSettingsControls::headers},
        {MethodGet, "/", "Host: other.example", F::NoContentRule, "",
         formatText(s(sid::RequestHeaderReserved), {"Host: other.example"}), &FakePortSettingsControls::headers},
        {MethodGet, "/", "", F::LacksText, "", s(sid::ContentRuleEmpty), &FakePortSettingsControls::ruleText},
        {MethodPost, "/", "", F::MatchesRegex, "ok(",
         formatText(s(sid::ContentRulePatternInvalid), {"missing closing parenthesis at offset 3"}),
         &FakePortSettingsControls::ruleText},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.headers + " " + c.text);
        OpenedForm opened([](F &f) { std::tie(f.port, f.protocol) = std::tuple(80, Http); });
        auto &[prompter, controls, form] = opened;
        controls.method = c.method;
        controls.path.value = c.path;
        controls.headers.value = c.headers;
        controls.body.value = "k=v\r\nk2=v2";
        controls.ruleChoice = c.choice;
        controls.ruleText.value = c.text;
        if (!opened.ok(c.message, c.focus)) {
            EXPECT_EQ(form.request, HttpRequest{});
            continue;
        }
        EXPECT_EQ(form.request.method, static_cast<std::uint32_t>(c.method));
        EXPECT_EQ(form.request.path.front(), '/');
        EXPECT_EQ(form.request.body, "k=v\nk2=v2");
        EXPECT_EQ(form.request.headers.find('\r'), std::string::npos);
        EXPECT_EQ(form.request.contentRule.text(),
                  c.choice == F::ContainsText ? std::string("contains:") + c.text : std::string());
    }
}

// The credentials rows: a stored password is never shown back; left as
// shown it is kept, typed over it is replaced, emptied it is removed. A
// user with a colon, a password without a user and an Authorization line
// beside a user are refused at the field at fault.
TEST(PortSettingsForm, theStoredPasswordIsNeverShownAndKeptUnlessRetypedOrEmptied)
{
    struct Case {
        const char *user, *password, *headers;
        std::string message; // empty: accepted
        std::string kept; // the password the form holds after OK
        FakeEditField FakePortSettingsControls::*focus = nullptr;
    } const cases[] = {
        {"watch", F::kPasswordKept, "", "", "n0t-sh0wn"},
        {"watch", "new one", "", "", "new one"},
        {"watch", "", "", "", ""},
        {"", "", "", "", ""},
        {"wa:tch", F::kPasswordKept, "", s(sid::RequestUserInvalid), "n0t-sh0wn", &FakePortSettingsControls::user},
        {"", "typed", "", s(sid::RequestPasswordWithoutUser), "n0t-sh0wn", &FakePortSettingsControls::user},
        {"watch", F::kPasswordKept, "Authorization: Bearer x",
         formatText(s(sid::RequestAuthorizationWithUser), {"Authorization: Bearer x"}), "n0t-sh0wn",
         &FakePortSettingsControls::headers},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.user) + " " + c.password + " " + c.headers);
        OpenedForm opened([](F &f) {
            std::tie(f.port, f.protocol, f.request.user, f.request.password) = std::tuple(443, Https, "watch", "n0t-sh0wn");
        });
        auto &[prompter, controls, form] = opened;
        EXPECT_EQ(std::tie(controls.user.value, controls.password.value), std::tuple("watch", F::kPasswordKept));
        controls.user.value = c.user;
        controls.password.value = c.password;
        controls.headers.value = c.headers;
        // A refused form keeps the stored user and password.
        const std::string user = opened.ok(c.message, c.focus) ? c.user : "watch";
        EXPECT_EQ(std::tie(form.request.user, form.request.password), std::tie(user, c.kept));
    }
    // Without a stored password the field opens empty, and the mark typed
    // is a password like any other.
    OpenedForm opened([](F &f) { std::tie(f.port, f.protocol) = std::tuple(80, Http); });
    auto &[prompter, controls, form] = opened;
    EXPECT_EQ(controls.password.value, "");
    controls.user.value = "u";
    controls.password.value = PortSettingsForm::kPasswordKept;
    ASSERT_TRUE(form.onOk(controls, prompter));
    EXPECT_EQ(form.request.password, PortSettingsForm::kPasswordKept);
}

// The host field takes what the target host dialog takes: at most 64
// characters however many bytes they are, names and address texts alike,
// blanks around them dropped; a refused host keeps the focus and nothing
// after it is read.
TEST(PortSettingsForm, theHostIsCheckedAsTheTargetIsAndEmptyMeansTheTarget)
{
    const std::string tooLong = "64 文字以内で入力してください。";
    std::string wide;
    while (utf8Length(wide) < 64)
        wide += "あ";
    struct Case {
        std::string typed;
        bool accepted;
        std::string host;
    } const cases[] = {
        {"", true, ""},
        {"web-1.example", true, "web-1.example"},
        {"::1", true, "::1"},
        {" 10.0.0.7\t", true, "10.0.0.7"},
        {std::string(64, 'h'), true, std::string(64, 'h')},
        {std::string(65, 'h'), false, "old.example"},
        {wide, true, wide},
        {wide + "あ", false, "old.example"},
        // What comes after a blank would be lost to the parser: refused.
        {"127.0.0.1 extra", false, "old.example"},
        {"db\x01.example", false, "old.example"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        OpenedForm opened([](F &f) { std::tie(f.host, f.targetHost) = std::pair("old.example", "127.0.0.1"); });
        auto &[prompter, controls, form] = opened;
        EXPECT_EQ(std::tie(controls.host.value, controls.hostHint), std::tuple("old.example", "(127.0.0.1)"));
        controls.host.value = c.typed;
        controls.port.value = c.accepted ? "80" : "0"; // a refused port would say so too
        controls.protocol = GenericTcp;
        EXPECT_EQ(form.onOk(controls, prompter), c.accepted);
        EXPECT_EQ(form.host, c.host);
        const std::string verdict = c.accepted ? "" : c.typed.size() > 64 ? tooLong : s(sid::HostInvalid);
        expectVerdict(prompter, controls.host, verdict);
        // The target dialog reads its host the same way.
        prompter.messages.clear();
        TargetHostForm target;
        target.host = "old.example";
        FakeEditField field(nullptr, c.typed);
        EXPECT_EQ(std::pair(target.onOk(field, prompter), target.host), std::pair(c.accepted, c.host));
        expectVerdict(prompter, field, verdict);
    }
}

// The row of the days of warning is enabled for HTTPS and TLS only and read
// only for them; HTTPS puts 443 in an empty port box, nothing else.
TEST(PortSettingsForm, theCertificateRowFollowsTheKindAndHttpsSuggests443)
{
    OpenedForm opened([](F &f) { std::tie(f.protocol, f.certWarnDays) = std::tuple(Tls, 30); });
    auto &[prompter, c, form] = opened;
    EXPECT_EQ(std::tie(c.certDays.value, c.certDaysEnabled), std::tuple("30", true));
    const std::tuple<int, const char *, bool, const char *> steps[] = {
        {GenericTcp, "0", false, "0"},  {Https, "0", true, "443"},   {Http, "443", false, "443"},
        {Https, "8443", true, "8443"},  {Ping, "8443", false, "7"},  {Https, "7", true, "8443"},
        {GenericUdp, "", false, ""},    {Https, "", true, "443"},    {Tls, "443", true, "443"}};
    for (const auto &[kind, typed, enabled, shown] : steps) {
        c.port.value = typed;
        opened.choose(kind);
        EXPECT_EQ(std::tie(c.certDaysEnabled, c.port.value), std::tuple(enabled, shown)) << kind;
    }
    c.certDays.value = "10000";
    EXPECT_FALSE(form.onOk(c, prompter));
    c.certDays.value = "0";
    EXPECT_TRUE(form.onOk(c, prompter));
    EXPECT_EQ(std::tie(form.name, form.certWarnDays), std::tuple("TLS (443)", 0));
    // A kind without the row leaves its value as it was, whatever it shows.
    c.certDays.value = "x";
    c.setProtocolIndex(Https);
    form.onProtocolChanged(c, GenericTcp);
    c.setProtocolIndex(GenericTcp);
    EXPECT_TRUE(form.onOk(c, prompter));
    EXPECT_EQ(std::tie(form.name, form.certWarnDays), std::tuple("汎用TCP (443)", 0));
    // The list is indexed by the kind's code, up to DNS (7).
    EXPECT_EQ(PortSettingsForm::kindTexts().size(), 8u);
    EXPECT_EQ(PortSettingsForm::kindTexts()[Dns], "DNS");
}

// The DNS panel: shown for DNS only, 53 put in an empty port box, its rows
// read back in the stored forms, and what cannot be asked or compared is
// refused with the field to correct.
TEST(PortSettingsForm, theDnsPanelSuggests53AndRefusesWhatCannotBeChecked)
{
    OpenedForm opened([](F &f) {
        std::tie(f.protocol, f.port, f.dnsName, f.dnsType, f.dnsExpect) =
            std::tuple(Dns, 5353, "www.example.com", "aaaa", "=2001:db8::1, 2001:db8::2");
    });
    auto &[prompter, c, form] = opened;
    EXPECT_EQ(c.panel, F::KindPanel::Dns);
    EXPECT_EQ(std::tie(c.dnsName.value, c.dnsType, c.dnsChoice, c.dnsAnswers.value, c.dnsAnswersEnabled),
              std::make_tuple("www.example.com", 1, int(F::DnsExactly), "2001:db8::1, 2001:db8::2", true));
    c.setDnsExpectChoice(F::DnsAnyAnswer);
    form.onDnsExpectChanged(c);
    EXPECT_FALSE(c.dnsAnswersEnabled);

    // Leaving and coming back: 53 only where the box is empty or 0.
    for (const auto &[kind, typed, shown] : {std::tuple{Http, "5353", "5353"}, {Dns, "5353", "5353"},
                                             {GenericTcp, "", ""}, {Dns, "", "53"}, {Tls, "0", "0"}, {Dns, "0", "53"}}) {
        c.port.value = typed;
        opened.choose(kind);
        EXPECT_EQ(c.port.value, shown) << kind;
        EXPECT_EQ(c.panel, kind == Dns ? F::KindPanel::Dns : F::panelOf(kind)) << kind;
    }

    struct Case {
        const char *name;
        int type;
        int choice;
        const char *answers;
        // The stored expectation, or nullptr when refused.
        const char *stored;
    };
    const Case cases[] = {
        {"", 0, F::DnsAnyAnswer, "", nullptr},
        {"bad name.example", 0, F::DnsAnyAnswer, "", nullptr},
        {"a..example", 0, F::DnsAnyAnswer, "", nullptr},
        {"www.example.com", 0, F::DnsContains, "", nullptr},
        {"www.example.com", 0, F::DnsContains, "192.0.2.300", nullptr},
        {"example.com", 3, F::DnsExactly, "mail.example.com", nullptr}, // MX without its preference
        {"www.example.com", 0, F::DnsAnyAnswer, "192.0.2.1", ""},         // the list is kept out of "any"
        {"www.example.com.", 0, F::DnsContains, "192.0.2.1, 192.0.2.2", "192.0.2.1, 192.0.2.2"},
        {"example.com", 3, F::DnsExactly, "=10 mail.example.com", "=10 mail.example.com"},
        {"_sip._tcp.example.com", 8, F::DnsContains, "10 20 5060 sip.example.com", "10 20 5060 sip.example.com"},
    };
    for (const Case &k : cases) {
        c.dnsName.value = k.name;
        c.setDnsTypeIndex(k.type);
        c.setDnsExpectChoice(k.choice);
        c.dnsAnswers.value = k.answers;
        const std::size_t said = prompter.messages.size();
        EXPECT_EQ(form.onOk(c, prompter), k.stored != nullptr) << k.name << " " << k.answers;
        if (!k.stored) {
            EXPECT_EQ(prompter.messages.size(), said + 1) << k.name;
            continue;
        }
        EXPECT_EQ(std::tie(form.dnsName, form.dnsType, form.dnsExpect),
                  std::tie(k.name, dns::recordTypes()[k.type], k.stored));
        EXPECT_EQ(form.name, "DNS (53) " + std::string(k.name) + " " + dns::recordTypes()[k.type]);
    }
    // Another kind keeps the DNS values as they came, whatever the panel shows.
    c.dnsName.value = "";
    opened.choose(GenericTcp);
    c.port.value = "80";
    EXPECT_TRUE(form.onOk(c, prompter));
    EXPECT_EQ(form.dnsName, "_sip._tcp.example.com");
}

TEST(PortSettingsForm, thePushPanelMakesAShowsACopiesAndAfterAQuestionRegeneratesTheToken)
{
    OpenedForm opened([](F &f) {
        std::tie(f.serverAddress, f.stableId) = std::tuple("127.0.0.1:9464", "tcp-0123456789abcdef");
    });
    auto &[prompter, c, form] = opened;
    EXPECT_EQ(c.stableId, "tcp-0123456789abcdef");
    EXPECT_TRUE(c.pushToken.empty()) << "only a Push entry has one";

    opened.choose(Push);
    EXPECT_EQ(c.panel, PortSettingsForm::KindPanel::Push);
    const std::string token = c.pushToken;
    EXPECT_TRUE(isPushToken(token)) << token;
    EXPECT_EQ(c.pushCall, "curl -fsS http://127.0.0.1:9464/push/" + token);
    form.onPushCopy(c);
    EXPECT_EQ(c.copied, token);

    // Regenerate asks first; No keeps the token.
    prompter.answers = {mb::IdNo};
    form.onPushRegenerate(c, prompter);
    EXPECT_EQ(c.pushToken, token);
    prompter.answers = {mb::IdYes};
    form.onPushRegenerate(c, prompter);
    EXPECT_NE(c.pushToken, token);
    EXPECT_TRUE(isPushToken(c.pushToken));
    EXPECT_EQ(prompter.texts().size(), 2u);

    c.port.value = "1";
    EXPECT_TRUE(form.onOk(c, prompter));
    EXPECT_EQ(std::tie(form.pushToken, form.name), std::tie(c.pushToken, "Push (1)"));

    // Without the server, the line says where the address goes; a stored
    // token is kept as it is.
    PortSettingsForm stored;
    stored.protocol = Push;
    stored.pushToken = "written-by-hand-0001";
    stored.init(c);
    EXPECT_EQ(c.pushToken, "written-by-hand-0001");
    EXPECT_EQ(c.pushCall, "curl -fsS http://ADDR:PORT/push/written-by-hand-0001");
}

// The main dialog's rules on a real frame, through its dialog view.
class DialogRules : public FrameFixture {
protected:
    DialogRules()
    {
        ui.makeDialog = [this](DialogFace &, std::shared_ptr<MainDialogController> rules) {
            windows.push_back(std::make_unique<DialogOnRules>(std::move(rules), controls));
            return windows.back().get();
        };
        controls.portSettings = std::ref(answer);
    }
    // The frame and its dialog go before the controls.
    ~DialogRules() override { frame.reset(); }
    std::vector<std::unique_ptr<DialogOnRules>> windows;
    MainDialogController &dialog() { return *controls.rules; }
    // The texts said since the last call.
    Texts said()
    {
        const Texts texts = prompter.texts();
        prompter.messages.clear();
        return texts;
    }
    // What the store holds; its target in storedTarget.
    LoadedSettings stored() { return loadSettings(registry, true, storedTarget); }
    Texts storedNames()
    {
        Texts names;
        for (const auto &e : stored().ports)
            names.push_back(e->name);
        return names;
    }

    ScopedTimeZone utc{"UTC0"};
    FakeDialogControls controls;
    PortSettingsAnswer answer{&prompter};
    std::string storedTarget;
};

TEST_F(DialogRules, opensWithTheStoredSettingsOneRowPerEntryAndTogglesAfterAQuestion)
{
    makeFrame({{80, GenericTcp, 1, 250, "notify %TARGET%"}, {8080, Http, 0}, {81, GenericTcp, 1}}, 7, 3);
    EXPECT_EQ(std::tie(controls.title, controls.interval.value, controls.retry.value),
              std::tuple("Lumivane - 127.0.0.1", "7", "3"));
    EXPECT_EQ(controls.hintText, s(sid::ListHintEntries));
    ASSERT_EQ(controls.names(), (Texts{"port 80", "port 8080", "port 81", "追加"}));
    EXPECT_EQ(controls.rows[0].texts, (Row{"port 80", "notify %TARGET%", "0", "", "0", "250", "(127.0.0.1)", "\u2013"}));
    EXPECT_EQ(controls.rows[3].texts, (Row{"追加", "", "0", "", "0", "0", "", ""}));
    // A ticked row shows its entry's status, an unticked one the idle image.
    entry(0).status = entry(1).status = Warning;
    entry(2).status = Failed;
    dialog().fillList();
    const std::pair<bool, int> shown[] = {{true, ImageWarning}, {false, ImageIdle}, {true, ImageError}, {false, ImageIdle}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::pair(controls.rows[i].ticked, controls.rows[i].image), shown[i]) << i;

    // The state icon and the first column toggle after a question; a click
    // elsewhere does nothing.
    dialog().onListClick(1, false);
    EXPECT_TRUE(prompter.messages.empty());
    const int writes = registry.writeCount();
    prompter.answers = {mb::IdNo};
    dialog().onListClick(1, true);
    EXPECT_EQ(prompter.texts(), Texts{s(sid::ConfirmActivatePort)});
    EXPECT_FALSE(controls.rows[1].ticked || entry(1).active);
    EXPECT_EQ(registry.writeCount(), writes);
    dialog().onListClick(1, true);
    EXPECT_TRUE(controls.rows[1].ticked);
    EXPECT_EQ(stored().ports[1]->active, 1);
    prompter.messages.clear();
    dialog().onListDoubleClick(1, true);
    EXPECT_EQ(prompter.texts(), Texts{s(sid::ConfirmDeactivatePort)});
    EXPECT_FALSE(controls.rows[1].ticked);
    EXPECT_EQ(stored().ports[1]->active, 0);
}

TEST_F(DialogRules, startStopAndExitAskSaveTheFieldsFirstAndSwitchTheControls)
{
    makeFrame({{80, GenericTcp, 1}});
    const auto stopped = [&] {
        EXPECT_EQ(controls.startStopText, s(sid::StartButton));
        EXPECT_TRUE(controls.settingsEnabled && controls.portTestEnabled);
        EXPECT_EQ(controls.statusText, s(sid::StatusStopped));
        EXPECT_EQ(controls.hintText, s(sid::ListHintEntries));
    };
    stopped();
    controls.interval.value = "12";
    controls.retry.value = "4";
    prompter.answers = {mb::IdNo};
    dialog().onStartStop();
    EXPECT_EQ(prompter.texts(), Texts{s(sid::ConfirmStartMonitoring)});
    EXPECT_FALSE(frame->running() || dialog().monitoring());
    EXPECT_EQ(std::pair(stored().intervalSeconds, stored().retryLimit), std::pair(12u, 4u));

    dialog().onStartStop();
    ASSERT_TRUE(frame->running() && dialog().monitoring());
    EXPECT_EQ(loop.timerPeriod(engine(), timers::Poll), 12000u);
    EXPECT_EQ(frame->retryLimit(), 4u);
    EXPECT_EQ(controls.startStopText, s(sid::StopButton));
    EXPECT_FALSE(controls.settingsEnabled || controls.portTestEnabled);
    EXPECT_EQ(controls.hintText, s(sid::ListHintMonitoring));
    EXPECT_EQ(controls.statusText, "ポート監視中 開始日時:" + kStart + "\r\n0日 00:00:00経過");
    // The elapsed time moves on with the polling timer, days counted whole.
    clock.suspendMs((90061u - 12u) * 1000u);
    loop.advance(12000);
    EXPECT_EQ(controls.statusText, "ポート監視中 開始日時:" + kStart + "\r\n1日 01:01:01経過");

    dialog().onStartStop();
    EXPECT_EQ(prompter.messages.back().text, s(sid::ConfirmStopMonitoring));
    EXPECT_FALSE(frame->running());
    stopped();

    frame->setEntryActive(0, false);
    dialog().onStartStop();
    EXPECT_EQ(prompter.messages.back().text, s(sid::NoActivePortOnStart));
    EXPECT_FALSE(dialog().monitoring());
    stopped();

    // A field out of range: its message, and nothing started or saved.
    frame->setEntryActive(0, true);
    for (auto [field, typed, message] :
         {std::tuple{&controls.interval, "100000", "1 から 99999 までの整数を入力してください。"},
          std::tuple{&controls.retry, "6", "1 から 5 までの整数を入力してください。"}}) {
        const std::string kept = std::exchange(field->value, typed);
        prompter.messages.clear();
        const int writes = registry.writeCount();
        dialog().onStartStop();
        expectVerdict(prompter, *field, message);
        EXPECT_FALSE(frame->running());
        EXPECT_EQ(registry.writeCount(), writes);
        field->value = kept;
    }

    // Exit posts the frame's question, as a message to the frame is; the
    // typed fields are saved as it ends.
    prompter.messages.clear();
    controls.interval.value = "33";
    dialog().onExitRequest();
    EXPECT_TRUE(prompter.messages.empty());
    loop.runPosted();
    EXPECT_EQ(std::pair(prompter.texts(), prompter.messages[0].caption),
              std::pair(Texts{s(sid::ConfirmExit)}, s(sid::ExitCaption)));
    EXPECT_TRUE(frame->closed());
    EXPECT_EQ(stored().intervalSeconds, 33u);
}

TEST_F(DialogRules, fieldsOpenWithinTheirUpDownRangesAndAreCheckedAsTheyChange)
{
    makeFrame({}, 1500, 1);
    EXPECT_EQ(std::tie(controls.interval.value, controls.intervalSpinPos), std::tuple("999", 999));
    struct Case {
        bool retry;
        const char *typed;
        unsigned message; // 0: none
        int spin;         // -1: not moved
    } const cases[] = {{true, "", sid::RetryLimitRange, 5},  {true, "7", sid::RetryLimitRange, 5},
                       {true, "0", sid::RetryLimitRange, 5}, {true, "2", 0, -1},
                       {false, "0", sid::IntervalRange, 1},  {false, "", sid::IntervalRange, 1},
                       {false, "1500", 0, -1}}; // beyond the arrows' end, but taken
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        controls.intervalSpinPos = controls.retrySpinPos = -1;
        (c.retry ? controls.retry : controls.interval).value = c.typed;
        c.retry ? dialog().onRetryChanged() : dialog().onIntervalChanged();
        EXPECT_EQ(said(), c.message ? Texts{s(c.message)} : Texts{});
        EXPECT_EQ(c.retry ? controls.retrySpinPos : controls.intervalSpinPos, c.spin);
    }
}

TEST_F(DialogRules, portTestAnswersFromTheLoopOnceTheLastCheckHasReported)
{
    makeFrame({{80, GenericTcp, 0}, {81, GenericTcp, 0}});
    dialog().onPortTest();
    EXPECT_EQ(said(), Texts{s(sid::NoActivePortOnTest)});
    EXPECT_TRUE(probes.started.empty());
    EXPECT_TRUE(controls.portTestEnabled);

    frame->setEntryActive(0, true);
    frame->setEntryActive(1, true);
    for (const bool secondFails : {false, true}) {
        dialog().onPortTest();
        ASSERT_EQ(probes.pending.size(), 2u);
        EXPECT_FALSE(controls.portTestEnabled);
        probes.pending[0]->finish(true);
        probes.pending[0]->finish(!secondFails);
        EXPECT_TRUE(prompter.messages.empty());
        loop.runPosted();
        const std::string failedLine = "\r\n" + formatText(s(sid::PortTestFailedLine),
                                                            {"port 81", "127.0.0.1",
                                                             reasonTextShown(FailureReason::of(FailureKind::TimedOut))});
        EXPECT_EQ(said(), Texts{secondFails ? s(sid::PortTestProblem) + failedLine : s(sid::PortTestAllOk)});
        EXPECT_TRUE(controls.portTestEnabled);
    }
    EXPECT_EQ(controls.rows[1].image, ImageError);
    EXPECT_EQ(controls.rows[1].texts, (Row{"port 81", "", "1", kStart, "\u2013", "0", "(127.0.0.1)", "\u2013"}));
}

// New windows open beside the main dialog, top edges level, on the side
// asked for where it has room, else on the other, else at the work area's
// far edge; always inside the work area, and in its middle with no dialog.
TEST(WindowPlace, besideTheMainDialogInsideTheWorkArea)
{
    using P = ResponseGraph::Place;
    const ScreenRect work{0, 30, 1280, 1000};
    const auto at = [&work](ScreenRect owner, PlaceSide side) {
        return placeBeside(PlaceArea{owner, work}, 200, 100, side);
    };
    EXPECT_EQ(at({400, 200, 800, 500}, PlaceSide::Right), (P{800 + kBesideGap, 200}));
    EXPECT_EQ(at({400, 200, 800, 500}, PlaceSide::Left), (P{400 - kBesideGap - 200, 200}));
    EXPECT_EQ(at({1000, 200, 1270, 500}, PlaceSide::Right), (P{1000 - kBesideGap - 200, 200})) << "no room right";
    EXPECT_EQ(at({100, 200, 500, 500}, PlaceSide::Left), (P{500 + kBesideGap, 200})) << "no room left";
    EXPECT_EQ(at({50, 200, 1200, 500}, PlaceSide::Left), (P{1080, 200})) << "room on neither side";
    EXPECT_EQ(at({400, 950, 800, 1100}, PlaceSide::Right), (P{800 + kBesideGap, 900})) << "kept above the bottom";
    EXPECT_EQ(at({400, -80, 800, 300}, PlaceSide::Right), (P{800 + kBesideGap, 30})) << "kept below the top";
    EXPECT_EQ(placeBeside(PlaceArea{std::nullopt, work}, 200, 100, PlaceSide::Left), (P{540, 465}));
    // A window wider than the work area keeps its left edge on it.
    EXPECT_EQ(placeBeside(PlaceArea{ScreenRect{400, 200, 800, 500}, work}, 1500, 100, PlaceSide::Right), (P{0, 200}));
}

// The answer names the failing entries, where and why, up to its bound.
TEST(PortTestText, namesEachFailingEntryUpToItsBound)
{
    EXPECT_EQ(portTestText(TestResult::Warning, {}), s(sid::PortTestAllOk));
    std::vector<TestFailure> failures;
    for (int i = 0; i < int(kPortTestLines) + 3; ++i)
        failures.push_back({"TCP " + std::to_string(7000 + i), "db" + std::to_string(i), FailureReason::of(FailureKind::Refused)});
    const std::string text = portTestText(TestResult::Failed, failures);
    const std::string refused = reasonTextShown(FailureReason::of(FailureKind::Refused));
    EXPECT_EQ(text.substr(0, text.find('\r')), formatText(s(sid::PortTestProblems), {std::to_string(failures.size())}));
    EXPECT_NE(text.find("\r\n" + formatText(s(sid::PortTestFailedLine), {"TCP 7000", "db0", refused}) + "\r\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find(formatText(s(sid::PortTestFailedLine), {"TCP 7007", "db7", refused})), std::string::npos);
    EXPECT_EQ(text.find("TCP 7008"), std::string::npos) << "beyond the bound";
    EXPECT_EQ(text.substr(text.rfind('\n') + 1), formatText(s(sid::NotifyMoreLines), {"3"}));
}

TEST_F(DialogRules, thePlaceholderAddsAnInactiveEntryAndEveryChangeIsSavedAtOnce)
{
    makeFrame();
    EXPECT_EQ(controls.hintText, s(sid::ListHintEmpty));
    answer = {&prompter, "8080", GenericTcp, "alert.sh %TARGET%", "300"};
    dialog().onListClick(0, true); // even on its state icon
    EXPECT_EQ(std::tie(answer.runs, answer.opened.port.value, answer.opened.deleteEnabled), std::tuple(1, "0", false));
    ASSERT_EQ(controls.names(), (Texts{"汎用TCP (8080)", "追加"}));
    EXPECT_EQ(controls.rows[0].texts, (Row{"汎用TCP (8080)", "alert.sh %TARGET%", "0", "", "0", "300", "(127.0.0.1)", "\u2013"}));
    EXPECT_EQ(std::pair(controls.rows[0].ticked, controls.rows[0].image), std::pair(false, int(ImageIdle)));
    EXPECT_EQ(controls.hintText, s(sid::ListHintEntries));
    const LoadedSettings saved = stored();
    const MonitorPort &e = *saved.ports.at(0);
    EXPECT_EQ(std::tie(e.port, e.threshold, e.command, e.active), std::tuple(8080u, 300u, "alert.sh %TARGET%", 0));

    // A double click adds too, in the first column as well.
    answer = {&prompter, "99", Ping};
    dialog().onListDoubleClick(1, true);
    EXPECT_EQ(controls.names(), (Texts{"汎用TCP (8080)", "PING", "追加"}));
    EXPECT_EQ(storedNames(), (Texts{"汎用TCP (8080)", "PING"}));
    EXPECT_EQ(stored().ports.at(1)->port, 7u);

    answer.press = PortSettingsAnswer::Cancel;
    dialog().onListClick(2, false);
    EXPECT_EQ(frame->entryCount(), 3u);
    EXPECT_EQ(controls.rows.size(), 3u);
    EXPECT_TRUE(prompter.messages.empty());
}

// A duplicate is refused at the dialog's OK, which keeps the dialog open
// with what was typed; names composed in the other language are the same
// entry's.
TEST_F(DialogRules, aNameTakenLetterCaseAsideIsRefusedButAnEntryKeepsItsOwn)
{
    makeFrame({{21, GenericTcp, 0, 0, "", "generic tcp (21)"}, {80, Http, 0, 0, "", "HTTP (80)"},
               {25, GenericTcp, 0, 0, "", "Generic TCP (25)"}});
    // Added from the placeholder, or another entry edited to it: refused.
    for (const bool edit : {false, true}) {
        for (const char *port : {"21", "25"}) {
            SCOPED_TRACE(port);
            answer = {&prompter, port, GenericTcp};
            edit ? dialog().onListDoubleClick(1, false) : dialog().onListClick(3, false);
            EXPECT_EQ(std::pair(said(), answer.runs), std::pair(Texts{s(sid::DuplicatePort)}, 1));
            EXPECT_EQ(answer.okTaken, false) << "the dialog stays open";
            EXPECT_EQ(answer.opened.port.value, edit ? "80" : "0");
            EXPECT_EQ(storedNames(), (Texts{"generic tcp (21)", "HTTP (80)", "Generic TCP (25)"}));
        }
    }
    // The entry itself takes its name in other letters, composed in the
    // interface's language; one whose name was composed in the other keeps it.
    answer = {.prompter = &prompter, .threshold = "40"};
    dialog().onListDoubleClick(0, false);
    dialog().onListDoubleClick(2, false);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(storedNames(), (Texts{"汎用TCP (21)", "HTTP (80)", "Generic TCP (25)"}));
    EXPECT_EQ(controls.rows[0].texts[0], "汎用TCP (21)");
    EXPECT_EQ(std::pair(stored().ports[0]->threshold, stored().ports[2]->threshold), std::pair(40u, 40u));
}

// Entries of one kind and port on different hosts share a name: each row
// stays its own entry, the host column tells them apart (the target in
// parentheses), and only a second one on the same host is refused.
TEST_F(DialogRules, oneKindAndPortMayBeWatchedOnEachHostButOnlyOnceOnOne)
{
    makeFrame({{80, GenericTcp, 0, 0, "", "Generic TCP (80)"}, {80, GenericTcp, 0, 0, "", "Generic TCP (80)", "127.0.0.2"}});
    const auto hosts = [this] {
        Texts out;
        for (const RowContent &row : controls.rows)
            out.push_back(row.texts[kHostColumn]);
        return out;
    };
    EXPECT_EQ(hosts(), (Texts{"(127.0.0.1)", "127.0.0.2", ""}));
    struct Case {
        const char *host;
        bool refused;
    } const cases[] = {
        {"", true},          // the target's is there
        {"127.0.0.1", true}, // so is the target's by its address
        {"127.0.0.2", true},
        {"::1", false},
        {"::1", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.host);
        answer = {.prompter = &prompter, .port = "80", .protocol = GenericTcp, .host = c.host};
        const std::size_t before = frame->entryCount();
        dialog().onListClick(controls.rowCount() - 1, false);
        EXPECT_EQ(said(), c.refused ? Texts{s(sid::DuplicatePort)} : Texts{});
        EXPECT_EQ(frame->entryCount(), before + (c.refused ? 0 : 1));
    }
    EXPECT_EQ(hosts(), (Texts{"(127.0.0.1)", "127.0.0.2", "::1", ""}));
    EXPECT_EQ(stored().ports.at(2)->host, "::1");

    // The second row is the entry on 127.0.0.2, though the first has its
    // name: editing it opens with its host, and moving it onto the target's
    // is refused.
    answer = {.prompter = &prompter, .host = ""};
    dialog().onListDoubleClick(1, false);
    EXPECT_EQ(answer.opened.host.value, "127.0.0.2");
    EXPECT_EQ(said(), Texts{s(sid::DuplicatePort)});
    answer = {.prompter = &prompter, .host = "db.example"};
    dialog().onListDoubleClick(1, false);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(hosts(), (Texts{"(127.0.0.1)", "db.example", "::1", ""}));
    EXPECT_EQ(stored().ports[1]->host, "db.example");

    // A new target shows in the rows that check it; the others keep theirs.
    controls.targetHost = [](TargetHostForm &form) {
        form.host = "10.0.0.7";
        return true;
    };
    dialog().onTargetChange();
    EXPECT_EQ(hosts(), (Texts{"(10.0.0.7)", "db.example", "::1", ""}));
    EXPECT_EQ(frame->entryView(2).checkedHost, "::1");

    // Deleting the middle row removes exactly that entry.
    answer = {.prompter = &prompter, .press = PortSettingsAnswer::Delete};
    dialog().onListDoubleClick(1, false);
    EXPECT_EQ(hosts(), (Texts{"(10.0.0.7)", "::1", ""}));
}

TEST_F(DialogRules, editStartsFromTheEntryAndKeepsItsTickAndDeleteRemovesExactlyIt)
{
    makeFrame({{80, GenericTcp, 1, 100, "old"}, {81, GenericTcp, 0}, {82, GenericTcp, 1}});
    entry(0).errorCount = 4;
    entry(0).lastErrorTime = clock.wallSeconds;
    entry(0).responseTime = 55;
    entry(0).status = Warning;
    dialog().updateRow(0, frame->entryView(0));
    answer = {&prompter, "8443", Http, "new"};
    dialog().onListDoubleClick(0, false);
    const FakePortSettingsControls &o = answer.opened;
    EXPECT_EQ(std::tie(o.port.value, o.protocol, o.command.value, o.threshold.value, o.deleteEnabled),
              std::tuple("80", int(GenericTcp), "old", "100", true));
    // "port 80" is a name of its own: it stays when kind and port change.
    EXPECT_EQ(o.name.value, "port 80");
    EXPECT_EQ(controls.rows[0].texts, (Row{"port 80", "new", "0", "", "0", "100", "(127.0.0.1)", "\u2013"}));
    EXPECT_EQ(std::pair(controls.rows[0].ticked, controls.rows[0].image), std::pair(true, int(ImageWarning)));
    const LoadedSettings saved = stored();
    const MonitorPort &e = *saved.ports[0];
    EXPECT_EQ(std::tie(e.name, e.protocol, e.active), std::tuple("port 80", std::uint32_t(Http), 1));

    answer = {.prompter = &prompter, .press = PortSettingsAnswer::Delete};
    dialog().onListDoubleClick(1, false);
    EXPECT_EQ(prompter.texts(), Texts{"ポート(81)監視の登録を削除しますか?"});
    EXPECT_EQ(controls.names(), (Texts{"port 80", "port 82", "追加"}));
    EXPECT_EQ(storedNames(), (Texts{"port 80", "port 82"}));
    // A later round's results land in the entries' own rows.
    engine()->runRound(RoundKind::Regular);
    probes.finishAll(true);
    EXPECT_EQ(controls.rows[1].image, ImageOk);
}

TEST_F(DialogRules, whileMonitoringAClickOpensTheGraphAndChangesAreRefused)
{
    storeConfiguration({{80, GenericTcp, 1, 100}, {81, GenericTcp, 0}});
    probes.outcomeAtStart = 1;
    makeFrame();
    dialog().onStartStop();
    ASSERT_TRUE(dialog().monitoring());
    loop.runPosted(); // the rows show the outcomes from the loop
    EXPECT_EQ(std::pair(controls.rows[0].image, controls.rows[1].image), std::pair(int(ImageOk), int(ImageIdle)));
    prompter.messages.clear();

    dialog().onListClick(0, false);
    dialog().onListClick(1, true); // unticked: no graph, and no question
    EXPECT_EQ(ui.graphsAsked, Texts{entry(0).name});
    EXPECT_TRUE(prompter.messages.empty());
    const ResponseGraphParams &p = ui.lastParams;
    EXPECT_EQ(std::tie(p.seriesNames, p.warningThreshold, p.alpha, p.targetHost, p.sourceHost, p.fontFace),
              std::tuple("port 80", 100u, 200u, "127.0.0.1", "testhost", "ＭＳ Ｐゴシック"));
    // A success is a sample; a failure only once it is declared.
    ui.graphs[entry(0).name].samples.clear();
    probes.responseAtStart = 7;
    loop.advance(5000);
    probes.failingPorts = {80};
    loop.advance(10000);
    EXPECT_EQ(ui.graphs[entry(0).name].samples, (std::vector<std::uint32_t>{7, 0}));

    dialog().onListDoubleClick(0, true);
    dialog().onListDoubleClick(1, false);
    dialog().onListDoubleClick(2, false);
    dialog().onListClick(2, false);
    EXPECT_EQ(prompter.texts(), Texts(4, s(sid::StopToChangeSettings)));
    EXPECT_EQ(answer.runs, 0);
    EXPECT_TRUE(controls.rows[0].ticked);
}

// The list's keys and context menu mean what the mouse and the buttons
// do; Enter on the placeholder adds rather than starting anything.
TEST_F(DialogRules, keysAndTheContextMenuDoWhatTheMouseDoes)
{
    makeFrame({{80, GenericTcp, 1, 100, "run\tme"}, {81, GenericTcp, 0}});
    answer = {&prompter, "82"};
    dialog().onListKey(ListKey::Enter, {2, {2}});
    EXPECT_EQ(controls.names(), (Texts{"port 80", "port 81", "汎用TCP (82)", "追加"}));
    EXPECT_FALSE(dialog().monitoring());
    answer = {.prompter = &prompter, .press = PortSettingsAnswer::Cancel};
    dialog().onListKey(ListKey::F2, {0, {0}});
    EXPECT_EQ(std::pair(answer.opened.port.value, answer.opened.deleteEnabled), std::pair(std::string("80"), true));

    // Delete asks as the settings dialog's button does; No keeps the entry.
    prompter.answers = {mb::IdNo};
    dialog().onListKey(ListKey::Delete, {1, {1}});
    dialog().onListKey(ListKey::Delete, {1, {1}});
    EXPECT_EQ(said(), Texts(2, "ポート(81)監視の登録を削除しますか?"));
    EXPECT_EQ(storedNames(), (Texts{"port 80", "汎用TCP (82)"}));
    EXPECT_EQ(controls.names(), (Texts{"port 80", "汎用TCP (82)", "追加"}));
    dialog().onListKey(ListKey::Delete, {2, {2}}); // the placeholder
    dialog().onListKey(ListKey::Space, {0, {0}});
    EXPECT_EQ(prompter.texts(), Texts{s(sid::ConfirmDeactivatePort)});
    EXPECT_FALSE(controls.rows[0].ticked);

    // Copied rows: the cells by tabs, the placeholder left out, a cell's own
    // tab made a space.
    dialog().onListKey(ListKey::Copy, {2, {2, 0}});
    EXPECT_EQ(controls.clipboard, copiedRowsText({controls.rows[0]}));
    EXPECT_EQ(controls.clipboard.substr(0, 35), "port 80\t(127.0.0.1)\trun me\t0\t\t0\t100");
    using C = ListCommand;
    // The menu's commands, always these in this order; what it returns says
    // which are enabled, '+' or '-' each.
    const auto menu = [this](ListSelection selection) {
        std::vector<C> commands;
        std::string enabled;
        for (const ListMenuItem &item : dialog().listMenu(selection)) {
            commands.push_back(item.command);
            enabled += item.enabled ? '+' : '-';
        }
        EXPECT_EQ(commands, (std::vector<C>{C::Add, C::Edit, C::Delete, C::ToggleActive, C::OpenGraph, C::Outages,
                                            C::Copy, C::QuietHour, C::QuietEightHours, C::QuietUntilResumed, C::Resume}));
        return enabled;
    };
    EXPECT_EQ(menu({0, {0}}), "++++--++++-");
    EXPECT_EQ(dialog().listMenu({0, {0}})[3].text, s(sid::ListMenuActivate));
    EXPECT_EQ(menu({2, {2}}), "+----------");
    dialog().onListCommand(C::ToggleActive, {0, {0}});
    EXPECT_TRUE(controls.rows[0].ticked);
    EXPECT_EQ(dialog().listMenu({0, {0}})[3].text, s(sid::ListMenuDeactivate));

    // While monitoring only the graph and the copy are offered; keys that
    // would change something are refused as the mouse's are.
    dialog().onStartStop();
    ASSERT_TRUE(dialog().monitoring());
    EXPECT_EQ(menu({0, {0}}), "----+-++++-");
    prompter.messages.clear();
    dialog().onListKey(ListKey::Enter, {0, {0}});
    dialog().onListKey(ListKey::Delete, {0, {0}});
    dialog().onListKey(ListKey::Enter, {2, {2}});
    EXPECT_EQ(prompter.texts(), Texts(3, s(sid::StopToChangeSettings)));
    EXPECT_EQ(controls.names(), (Texts{"port 80", "汎用TCP (82)", "追加"}));
    dialog().onListCommand(C::OpenGraph, {0, {0}});
    EXPECT_EQ(ui.graphsAsked, Texts{entry(0).name});
}

// The outage list's widgets as its rules drive them.
struct OutageControls final : OutageListController::Controls {
    std::string title, note;
    std::vector<std::array<std::string, kOutageColumns>> rows;
    bool exportEnabled = true;
    int setRowsCalls = 0;
    void setTitle(const std::string &text) override { title = text; }
    void setRows(const std::vector<std::array<std::string, kOutageColumns>> &r, const std::string &n) override
    {
        ++setRowsCalls;
        std::tie(rows, note) = std::tie(r, n);
    }
    void setExportEnabled(bool enabled) override { exportEnabled = enabled; }
};

// The uptime column, the history switch and the outage list follow the
// kept history; the list's rows and export are the history's answer, and
// the column follows each round at once.
TEST_F(DialogRules, theUptimeColumnAndTheOutageListFollowTheKeptHistory)
{
    FakeHistory kept(loop);
    const SeriesKey key = FakeHistory::key("port 80", 80);
    const OutageView refused{1796706185000, 1796706250000, false, FailureReason::of(FailureKind::Refused), true};
    const OutageView lasting{1796706300000, 0, false, FailureReason::of(FailureKind::TimedOut), false};
    kept.uptimes[key] = UptimeView{0.99996, 0.9, 0.8, {lasting}};
    kept.outages[key] = {lasting, refused};
    history = &kept;
    makeFrame({{80, GenericTcp, 1}, {81, GenericTcp, 0}});
    loop.runPosted();
    EXPECT_EQ(std::pair(controls.rows[0].texts[kUptimeColumn], controls.rows[1].texts[kUptimeColumn]),
              std::pair(std::string("99.99 %"), std::string("\u2013")));
    EXPECT_TRUE(controls.historyTicked);
    dialog().onHistoryToggled(false);
    EXPECT_FALSE(frame->historyKept() || controls.historyTicked);
    // Off, nothing is answered: kept again for the list below.
    dialog().onHistoryToggled(true);

    // The menu offers the list on an entry, not on the placeholder.
    EXPECT_TRUE(dialog().listMenu({1, {1}})[5].enabled && !dialog().listMenu({2, {2}})[5].enabled);
    dialog().onListCommand(ListCommand::Outages, {2, {2}});
    dialog().onListCommand(ListCommand::Outages, {0, {0}});
    EXPECT_EQ(controls.outagesShown, std::vector<std::uint32_t>{entry(0).id});

    OutageControls shown;
    auto list = std::make_unique<OutageListController>(*frame, prompter, shown, entry(0).id, "port 80");
    list->init();
    EXPECT_EQ(shown.title, "障害履歴 - port 80");
    EXPECT_FALSE(shown.exportEnabled || shown.setRowsCalls);
    loop.runPosted();
    ASSERT_EQ(shown.rows.size(), 2u);
    EXPECT_EQ(shown.rows[0], outageRowTexts(lasting, clock.nowMillis()));
    EXPECT_EQ(shown.rows[1], outageRowTexts(refused, clock.nowMillis()));
    EXPECT_TRUE(shown.exportEnabled && shown.note.empty());

    // Export: the file chosen gets the CSV; a cancelled dialog writes none,
    // a file that cannot be written is said so.
    TempDir dir;
    prompter.fileAnswer = dir.path() + "/port80.csv";
    list->onExport();
    EXPECT_EQ(prompter.fileRequests.at(0).initialName, "port_80-outages.csv");
    std::ifstream written(prompter.fileAnswer, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}),
              outagesCsv({lasting, refused}, clock.nowMillis()));
    prompter.messages.clear();
    prompter.fileAnswer.clear();
    list->onExport();
    prompter.fileAnswer = dir.path() + "/none/port80.csv";
    list->onExport();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text.rfind(prompter.fileAnswer + " に書き込めませんでした。", 0), 0u);

    // An answer after the list went changes nothing.
    kept.held = true;
    OutageListController(*frame, prompter, shown, entry(0).id, "port 80").init();
    const int calls = shown.setRowsCalls;
    kept.release();
    loop.runPosted();
    EXPECT_EQ(shown.setRowsCalls, calls);

    // A failure and a recovery show in the uptime column as soon as the
    // round that saw them ends, not a minute later.
    kept.held = false;
    EXPECT_TRUE(frame->toggleMonitoring(true));
    for (const auto &[answers, day, column] : {std::tuple(false, 0.5, "50.00 %"), std::tuple(true, 0.75, "75.00 %")}) {
        // Two rounds: a tolerated failure, then the one declared (or the
        // answer that ends the failure, and one more).
        kept.uptimes[key].day = day;
        probes.finishAll(answers);
        loop.advance(5000);
        probes.finishAll(answers);
        loop.advance(1000);
        EXPECT_EQ(entry(0).status, answers ? Ok : Failed);
        EXPECT_EQ(controls.rows[0].texts[kUptimeColumn], column);
        loop.advance(4000);
    }
    frame.reset();
}

// The window and the list's widths come back as the last run left them,
// onto a screen; a store without them opens as the template makes it.
TEST_F(DialogRules, theLayoutIsStoredAndComesBackOnAScreen)
{
    makeFrame({{80, GenericTcp, 0}});
    // Five pixels a character: the name column shows "Generic TCP (65535)"
    // after the images, the last-error column a whole date.
    const auto fiveEach = [](const std::string &text) { return static_cast<int>(text.size()) * 5; };
    const std::vector<int> defaults = dialog().columnWidths(fiveEach, 10, 40);
    EXPECT_EQ(defaults, defaultColumnWidths(fiveEach, 10, 40));
    EXPECT_EQ(defaults[0], 19 * 5 + 10 + 40);
    EXPECT_GE(defaults[3], static_cast<int>(formatLocalTime(s(sid::DateTimeFormat), 2113919938u).size()) * 5 + 10);
    EXPECT_EQ(defaults[1], 200);
    LayoutRect placed;
    EXPECT_FALSE(dialog().restoredWindow({400, 160}, {{0, 0, 1024, 768}}, placed));
    EXPECT_EQ(loadWindowLayout(registry), WindowLayout{});

    dialog().saveLayout({-300, 700, 500, 1000}, {90, 210, 5, 130, 70, 70});
    frame.reset();
    const WindowLayout kept = loadWindowLayout(registry);
    EXPECT_EQ(kept, (WindowLayout{-300, 700, 800, 300, {90, 210, 5, 130, 70, 70}}));
    makeFrame();
    // A column squeezed to nothing opens at its default again, and so does
    // the host and uptime columns, which six stored widths say nothing of.
    EXPECT_EQ(dialog().columnWidths(fiveEach, 10, 40),
              (std::vector<int>{90, 210, defaults[2], 130, 70, 70, defaults[6], defaults[7]}));
    EXPECT_GE(defaults[7], static_cast<int>(std::string("99.99 %").size()) * 5 + 10);
    dialog().saveLayout({-300, 700, 500, 1000}, {90, 210, 40, 130, 70, 70, 150, 80});
    EXPECT_EQ(loadWindowLayout(registry).columnWidths, (std::vector<int>{90, 210, 40, 130, 70, 70, 150, 80}));
    // Left of the screen and half below it: moved onto it whole.
    ASSERT_TRUE(dialog().restoredWindow({400, 160}, {{0, 0, 1024, 768}}, placed));
    EXPECT_EQ(placed, (LayoutRect{0, 468, 800, 768}));
    // On the second screen, which it shares most with; too large for it,
    // it shrinks, never below its least size, and keeps its title bar on it.
    EXPECT_EQ(placeStoredWindow({1500, 100, 3500, 1300}, {400, 160}, {{0, 0, 1024, 768}, {1024, 0, 2048, 600}}),
              (LayoutRect{1024, 0, 2048, 600}));
    EXPECT_EQ(placeStoredWindow({5000, 5000, 5100, 5050}, {400, 160}, {{0, 0, 1024, 768}}, {10, 30}),
              (LayoutRect{614, 578, 1014, 738}));
    // Stored in pixels at 96 DPI: a window at 144 DPI scales them both ways.
    dialog().saveLayout({-300, 700, 1500, 1150}, {135, 315, 60, 195, 105, 105, 225, 120}, 144);
    EXPECT_EQ(loadWindowLayout(registry), (WindowLayout{-300, 700, 1200, 300, {90, 210, 40, 130, 70, 70, 150, 80}}));
    EXPECT_EQ(dialog().columnWidths(fiveEach, 15, 60, 144), (std::vector<int>{135, 315, 60, 195, 105, 105, 225, 120}));
    ASSERT_TRUE(dialog().restoredWindow({600, 240}, {{0, 0, 2048, 1536}}, placed, {}, 144));
    EXPECT_EQ(placed, (LayoutRect{0, 700, 1800, 1150}));
}

TEST_F(DialogRules, aNewTargetRetitlesTheDialogAndIsSaved)
{
    makeFrame();
    struct Case {
        const char *typed;
        bool ok;
        const char *preset, *target;
    } const cases[] = {{"example.test", true, "127.0.0.1", "example.test"},
                       {"other.test", false, "example.test", "example.test"},
                       {"[fd00::2]", true, "example.test", "[fd00::2]"},
                       {"", true, "[fd00::2]", ""}};
    for (const Case &c : cases) {
        std::string preset;
        controls.targetHost = [&](TargetHostForm &form) {
            FakeEditField host;
            form.init(host);
            preset = std::exchange(host.value, c.typed);
            return c.ok && form.onOk(host, prompter);
        };
        dialog().onTargetChange();
        EXPECT_EQ(preset, c.preset);
        EXPECT_EQ(controls.title, std::string("Lumivane - ") + c.target);
        stored();
        EXPECT_EQ(storedTarget, c.target);
    }
    EXPECT_TRUE(prompter.messages.empty());
}

// The program can end (the tray's exit) or the dialog go while one of the
// dialog's questions or modal dialogs is open: then nothing touches the
// dialog's controls and nothing changes. The sanitizer build catches any
// use of what has gone.
TEST_F(DialogRules, endsCleanlyWhenTheProgramEndsInsideAQuestion)
{
    storeConfiguration({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}, {81, GenericTcp, 0}});
    int touchesAtEnd = -1;
    bool retireOnly = false;
    const auto end = [&] {
        if (touchesAtEnd < 0) {
            touchesAtEnd = controls.touches;
            retireOnly ? dialog().retire() : frame->exitNow();
        }
    };
    prompter.onMessage = [&](const FakePrompter::Message &) { end(); };
    const auto answering = [&](PortSettingsAnswer a, bool endAfter) {
        controls.portSettings = [&, a, endAfter](PortSettingsForm &form) mutable {
            const bool accepted = a(form);
            if (endAfter)
                end();
            return accepted;
        };
    };
    struct Case {
        const char *what;
        bool retireOnly;
        std::function<void()> act;
    } const cases[] = {
        {"start question", false, [&] { dialog().onStartStop(); }},
        {"interval check", false, [&] { controls.interval.value = "0"; dialog().onStartStop(); }},
        {"retry check", false, [&] { controls.retry.value = "9"; dialog().onRetryChanged(); }},
        {"activate question", false, [&] { dialog().onListClick(1, true); }},
        {"activate question, dialog retired", true, [&] { dialog().onListDoubleClick(1, true); }},
        {"port settings", false, [&] { answering({&prompter, "25"}, true); dialog().onListClick(2, false); }},
        {"delete question", false,
         [&] {
             answering({&prompter, {}, -1, {}, {}, PortSettingsAnswer::Delete}, false);
             dialog().onListDoubleClick(0, false);
         }},
        {"duplicate message", false, [&] { answering({&prompter, "80"}, false); dialog().onListClick(2, false); }},
        {"port test result", false, [&] { probes.outcomeAtStart = 1; dialog().onPortTest(); loop.runPosted(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        frame.reset();
        makeFrame();
        touchesAtEnd = -1;
        retireOnly = c.retireOnly;
        c.act();
        EXPECT_GE(touchesAtEnd, 0);
        EXPECT_EQ(controls.touches, touchesAtEnd);
        EXPECT_EQ(frame->closed(), !c.retireOnly);
        EXPECT_FALSE(frame->running());
        const LoadedSettings saved = stored();
        ASSERT_EQ(saved.ports.size(), 2u);
        EXPECT_EQ(std::tuple(saved.ports[0]->active, saved.ports[1]->active, saved.intervalSeconds, saved.retryLimit),
                  std::tuple(1, 0, 5u, 1u));
    }
}

// A watched, failed row's tip says why and when; any other row has none.
// The ICMP words stay the system's own, in the graph's line too. The
// response column shows a time for an entry that answered (0 ms included),
// a dash for a failed one, whatever time an earlier answer left.
TEST(FailureText, aFailedRowsTipAndTheGraphLineSayWhy)
{
    EntryView entry;
    entry.active = true;
    std::vector<std::string> shown;
    for (const auto &[status, time] : {std::pair{Ok, 0u}, {Warning, 312u}, {Idle, 0u}, {Failed, 0u}, {Failed, 48u}}) {
        std::tie(entry.status, entry.responseTime) = std::tuple(status, time);
        shown.push_back(rowContent(entry).texts[4]);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"0", "312", "0", "\u2013", "\u2013"}));
    entry.lastReason = FailureReason::unreachable(11, 0);
    entry.lastReasonTime = 1767225600; // 2026-01-01 00:00:00 UTC
    const std::string why = "到達できません: Time to live exceeded in transit. (ICMP time exceeded, code 0)";
    EXPECT_EQ(failureTip(entry), "エラーの理由: " + why + " (" + kStart + ")");
    EXPECT_EQ(rowContent(entry).tip, failureTip(entry));
    EXPECT_EQ(graphReasonLine(entry.lastReason), "エラーの理由: " + why);
    entry.active = false;
    EXPECT_EQ(failureTip(entry), "");
    entry.active = true;
    entry.status = Ok;
    EXPECT_EQ(failureTip(entry), "");
    EXPECT_EQ(graphReasonLine(FailureReason{}), "");
    // HTTPS and TLS rows tell the days their certificate has left, after
    // the reason when they have failed.
    entry.protocol = Https;
    entry.certDaysKnown = true;
    entry.certDaysLeft = -3;
    EXPECT_EQ(failureTip(entry), "証明書の残り日数: -3 日");
    entry.status = Failed;
    entry.lastReason = FailureReason::of(FailureKind::CertExpired);
    EXPECT_EQ(failureTip(entry), "エラーの理由: 証明書の有効期限が切れています (" + std::string(kStart) +
                                     ")\r\n証明書の残り日数: -3 日");
    entry.protocol = Http;
    EXPECT_EQ(failureTip(entry).find("証明書の残り"), std::string::npos);
    EXPECT_EQ(reasonText(FailureReason::unreachable(1, 3, true)),
              "unreachable: Address is unreachable. (ICMPv6 destination unreachable, code 3)");
}

TEST(DialogLayout, controlsFollowTheSizeAndTheSmallestSizeKeepsThemApart)
{
    // Pixel rectangles like the main dialog's: the status text and a field
    // that stay, a right-hand button, the list and the logo.
    const LayoutRect status{27, 18, 300, 49}, field{160, 54, 220, 75}, button{493, 11, 578, 34};
    const LayoutRect list{12, 88, 578, 231}, logo{443, 232, 586, 271};
    const LayoutSize client{900, 500};
    EXPECT_EQ(followClient(Follow::Stays, status, client), status);
    EXPECT_EQ(followClient(Follow::RightEdge, button, client), (LayoutRect{807, 11, 892, 34}));
    EXPECT_EQ(followClient(Follow::BottomRight, logo, client), (LayoutRect{749, 457, 892, 496}));
    EXPECT_EQ(followClient(Follow::Stretch, list, client), (LayoutRect{8, 88, 892, 456}));

    const std::vector<LaidControl> controls{{Follow::Stays, status, {}},
                                            {Follow::Stays, field, {}},
                                            {Follow::RightEdge, button, {}},
                                            {Follow::Stretch, list, {1, 48}},
                                            {Follow::BottomRight, logo, {}}};
    // The floor is too small: the button would cover the status text and the
    // list would have no height; the smallest size is the first that fits.
    const LayoutSize small = smallestClient(controls, {384, 122});
    EXPECT_EQ(small, (LayoutSize{300 + 85 + 8, 88 + 48 + 44}));
    // A floor that is large enough is kept.
    EXPECT_EQ(smallestClient(controls, {600, 300}), (LayoutSize{600, 300}));

    // At 144 DPI every margin is half as large again; sizes moved between
    // resolutions round to the nearest pixel, and a column that showed its
    // text whole keeps its new default width at least.
    EXPECT_EQ(std::tuple(atDpi(8, 144), atDpi(-5, 144), fromDpi(157, 144), rescaled(100, 144, 192), atDpi(40, 0)),
              std::tuple(12, -8, 105, 133, 40));
    EXPECT_EQ(followClient(Follow::BottomRight, logo, client, 144), (LayoutRect{745, 455, 888, 494}));
    EXPECT_EQ(followClient(Follow::Stretch, list, client, 144), (LayoutRect{12, 88, 888, 434}));
    EXPECT_EQ(smallestClient(controls, {100, 100}, 192).width, 300 + 85 + 16);
    const BalloonShape big = balloonShape(100, 30, 192);
    EXPECT_EQ(big.window, (LayoutSize{148, 110}));
    EXPECT_EQ(std::make_pair(big.tipX, big.tipY), std::make_pair(124, 90));

    EXPECT_EQ(widthToShowColumns({100, 200, 40}, 330, 17), 27);
    EXPECT_EQ(widthToShowColumns({100, 200}, 330, 17), 0);
    // Column 0 was its default and its text grew more than the resolution;
    // column 1 was narrowed by the user and only scales.
    EXPECT_EQ(rescaledColumnWidths({150, 60}, 96, 144, {150, 200}, {230, 300}), (std::vector<int>{230, 90}));
    EXPECT_EQ(rescaledColumnWidths({300, 60}, 192, 96, {280, 200}, {141, 100}), (std::vector<int>{150, 30}));
}

TEST(DialogLayout, theBalloonPointsItsTailAtTheAnchorAndStaysOnTheScreen)
{
    const BalloonShape s = balloonShape(100, 30);
    EXPECT_EQ(s.window, (LayoutSize{124, 70}));
    EXPECT_EQ(std::make_pair(s.tipX, s.tipY), std::make_pair(112, 60));
    EXPECT_EQ(std::pair(s.tail[0][0], s.tail[2][0]), std::pair(112, 97));
    const LayoutRect screen{0, 0, 800, 600};
    int x = 0, y = 0;
    placeBalloon(s, 400, 300, screen, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(400 - 112, 300 - 60));
    // Near the top left corner the balloon moves in rather than off the screen.
    placeBalloon(s, 20, 10, screen, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
    placeBalloon(s, 850, 650, screen, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(800 - 124, 600 - 70));
}

// The pointer's and the timers' events, in order, and what the balloon is
// told each time.
TEST(BalloonHover, showsAfterTheDelayWhereThePointerRestsAndGoesOnAButtonOrAwayFromTargets)
{
    using U = BalloonHover::Under;
    using T = BalloonHover::Timer;
    struct Window final : BalloonHover::Balloon {
        U under = U::Nothing;
        std::string log;
        U lookAt(HintPoint) override { return under; }
        void runTimer(T t, int ms) override { log += "run" + std::to_string(int(t)) + ":" + std::to_string(ms) + " "; }
        void cancelTimer(T t) override { log += "cancel" + std::to_string(int(t)) + " "; }
        void showWindow(HintPoint at) override { log += "show@" + std::to_string(at.x) + "," + std::to_string(at.y) + " "; }
        void hideWindow() override { log += "hide "; }
        bool tipVisible() override { return tip; }
        bool tip = false;
    } window;
    BalloonHover hover(window);
    const std::string gone = "hide cancel100 cancel101 ";
    struct Step {
        // m: move to x,y over under; b: button; s, h: show, hide timer;
        // t: a target's tip about to show; S: show timer while it shows
        char event;
        int x;
        U under;
        std::string told;
    };
    const Step steps[] = {
        {'m', 5, U::Nothing, gone},
        {'m', 10, U::Target, "run100:500 "},
        {'m', 10, U::Nothing, ""}, // at rest: not news
        {'m', 11, U::Balloon, ""}, // over the balloon itself
        {'s', 0, U::Nothing, "cancel100 show@10,10 run101:4000 "},
        {'m', 12, U::Target, "run100:500 "},
        {'h', 0, U::Nothing, gone},
        {'m', 13, U::Target, "run100:500 "},
        {'b', 0, U::Nothing, gone},
        // The balloon and a target's own tip never show at once.
        {'m', 14, U::Target, "run100:500 "},
        {'s', 0, U::Nothing, "cancel100 show@14,14 run101:4000 "},
        {'t', 0, U::Nothing, gone},
        {'m', 15, U::Target, "run100:500 "},
        {'S', 0, U::Nothing, "cancel100 "},
    };
    for (const Step &step : steps) {
        window.log.clear();
        window.under = step.under;
        window.tip = step.event == 'S';
        if (step.event == 't')
            hover.tipShowing();
        else if (step.event == 'm')
            hover.pointerMoved(HintPoint{step.x, step.x == 11 ? 10 : step.x});
        else if (step.event == 'b')
            hover.buttonPressed();
        else
            hover.timerFired(step.event == 'h' ? T::Hide : T::Show);
        EXPECT_EQ(window.log, step.told) << step.event << step.x;
    }
    EXPECT_EQ(hover.anchor(), (HintPoint{15, 15}));
}

} // namespace
} // namespace vigilon::test
