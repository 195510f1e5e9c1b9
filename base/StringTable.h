// SPDX-License-Identifier: MIT
#pragma once

#include "base/Language.h"

#include <string>
#include <vector>

namespace vigilon {

// The program's string table: every user-visible text of Vigilon, by id, in
// UTF-8, in Japanese and in English. "\r\n" inside a text is a line break
// as the program shows it. An unknown id yields an empty string.
// Without a language: the text in the process's current language.
const std::string &loadString(unsigned id);
const std::string &loadString(unsigned id, Language language);
bool hasString(unsigned id);
// Every id of the table, ascending.
std::vector<unsigned> stringIds();

// Ids of the string table. Several texts are format strings: %s and %d are
// printf-style places, %1 and %2 numbered places of the validation messages,
// and the date, time and elapsed-time texts use strftime-style fields (%Y,
// %m, %d, %H, %M, %S) plus %D for a whole number of days.
namespace sid {

// Main dialog: start/stop button captions.
constexpr unsigned StartButton = 104;
constexpr unsigned StopButton = 105;

// Port list column headers.
constexpr unsigned ColumnPortName = 106;
constexpr unsigned ColumnErrorCount = 107;
constexpr unsigned ColumnLastErrorTime = 108;
constexpr unsigned ColumnCommand = 113;
constexpr unsigned ColumnResponseTime = 133;
constexpr unsigned ColumnThreshold = 138;

// Port list: check-box questions, placeholder row, refusals.
constexpr unsigned ConfirmActivatePort = 109;
constexpr unsigned ConfirmDeactivatePort = 110;
constexpr unsigned AddPlaceholderName = 114;
constexpr unsigned StopToChangeSettings = 121;
constexpr unsigned DuplicatePort = 136;

// Date and time of the last error and of the monitoring start (strftime).
constexpr unsigned DateTimeFormat = 111;

// Port settings dialog.
constexpr unsigned ConfirmDeletePort = 117;  // %d = port
constexpr unsigned InvalidPortNumber = 132;

// Main dialog status text.
constexpr unsigned StatusStopped = 118;
constexpr unsigned StatusMonitoring = 119;   // %s start time, %s elapsed
constexpr unsigned ElapsedTimeFormat = 120;  // %D days, %H:%M:%S

// Start refused: no active entry (from the engine, and from the port test).
constexpr unsigned NoActivePortOnStart = 128;
constexpr unsigned NoActivePortOnTest = 137;

// Main dialog title, %s = target host.
constexpr unsigned MainDialogTitle = 129;

// Notification-area tip, %s = target host.
constexpr unsigned TrayTipStopped = 130;
constexpr unsigned TrayTipRunning = 131;

// Port test outcome.
constexpr unsigned PortTestAllOk = 134;
constexpr unsigned PortTestProblem = 135;

// Checks that this system cannot start all at once: %d = entries left out of
// the last round, %s = target host for the tip.
constexpr unsigned StatusShortage = 330;
constexpr unsigned TrayTipShortage = 331;
constexpr unsigned ShortageNotice = 332;

// The port list's context menu; after a tab, the key that does the same.
constexpr unsigned ListMenuAdd = 340;
constexpr unsigned ListMenuEdit = 341;
constexpr unsigned ListMenuDelete = 342;
constexpr unsigned ListMenuActivate = 343;
constexpr unsigned ListMenuDeactivate = 344;
constexpr unsigned ListMenuGraph = 345;
constexpr unsigned ListMenuCopy = 346;

// Exit question and its caption.
constexpr unsigned ExitCaption = 139;
constexpr unsigned ConfirmExit = 140;
constexpr unsigned ConfirmExitWhileMonitoring = 141;

// Response-time graph window.
constexpr unsigned GraphElapsedFormat = 187;   // %D days, %H, %M, %S
constexpr unsigned GraphDateTimeFormat = 188;
constexpr unsigned GraphMaxLabel = 189;        // %d = maximum
constexpr unsigned GraphTimeLabel = 190;       // %H:%M:%S
constexpr unsigned GraphTargetHost = 252;      // %s = target host
constexpr unsigned GraphTargetPort = 253;
constexpr unsigned GraphSeriesValue = 254;     // %s name, %d value
constexpr unsigned GraphStartAndCount = 255;   // %s start, %s elapsed, %d count
constexpr unsigned GraphCreateFailed = 256;

// Face name of the fonts of the hint window and the graph window.
constexpr unsigned UiFontFace = 257;

// Start/stop question and its caption.
constexpr unsigned ConfirmStopMonitoring = 258;
constexpr unsigned ConfirmStartMonitoring = 259;
constexpr unsigned MonitoringCaption = 61217;

// Response monitor settings dialog: file dialog.
constexpr unsigned RecordFileFilter = 260;  // '|' separates the parts
constexpr unsigned RecordFileDialogTitle = 261;
constexpr unsigned FileDialogFailed = 262;

// Port list hint texts.
constexpr unsigned ListHintEmpty = 266;
constexpr unsigned ListHintEntries = 267;
constexpr unsigned ListHintMonitoring = 61216;

// Help page could not be opened, and the caption of that message.
constexpr unsigned HelpBrowserFailed = 270;
constexpr unsigned HelpErrorCaption = 271;

// Main dialog field checks.
constexpr unsigned RetryLimitRange = 273;
constexpr unsigned IntervalRange = 274;

// Alert command could not be run, %s = command.
constexpr unsigned CommandFailed = 275;

// The configuration could not be saved, %s = the key and the cause.
constexpr unsigned SettingsNotSaved = 276;

// Sample recording file.
constexpr unsigned RecordFileOpenError = 61215;
constexpr unsigned RecordHeaderSampling = 61218;
constexpr unsigned RecordHeaderTarget = 61219;  // %s = target host
constexpr unsigned RecordHeaderSource = 61220;  // %s = source host

// The recording file's header lines are the file's format: they are written
// in Japanese whatever the interface's language.

// Dialog data validation messages.
constexpr unsigned ParseInteger = 61712;
constexpr unsigned ParseUnsigned = 61713;
constexpr unsigned ParseIntegerRange = 61714;  // %1 lowest, %2 highest
constexpr unsigned ParseStringSize = 61716;    // %1 = most characters

// Buttons shared by the dialogs.
constexpr unsigned OkButton = 400;
constexpr unsigned CancelButton = 401;
constexpr unsigned CancelButtonMnemonic = 402;
constexpr unsigned DeleteButton = 403;
constexpr unsigned BrowseButton = 404;

// Face name of the dialogs' font.
constexpr unsigned DialogFontFace = 405;

// About dialog.
constexpr unsigned AboutCaption = 406;

// Main dialog controls.
constexpr unsigned TargetButton = 407;
constexpr unsigned ExitButton = 408;
constexpr unsigned PortTestButton = 409;
constexpr unsigned IntervalLabel = 410;
constexpr unsigned RetryLabel = 411;

// Port settings dialog.
constexpr unsigned PortSettingsCaption = 412;
constexpr unsigned PortSettingsGroup = 413;
constexpr unsigned PortExamplesGroup = 414;
constexpr unsigned PortNumberLabel = 415;
constexpr unsigned ProtocolLabel = 416;
constexpr unsigned CommandLabel = 417;
constexpr unsigned ThresholdLabel = 418;
constexpr unsigned ThresholdNote = 419;
constexpr unsigned KindGenericTcp = 420;
constexpr unsigned KindGenericUdp = 421;

// Target host dialog.
constexpr unsigned TargetHostCaption = 422;
constexpr unsigned TargetHostPrompt = 423;

// Response monitor settings dialog.
constexpr unsigned ResponseMonitorCaption = 424;
constexpr unsigned ResponseMonitorGroup = 425;
constexpr unsigned ResponseMonitorIntro = 426;
constexpr unsigned ResponseMonitorPort = 427;
constexpr unsigned ResponseMonitorAlpha = 428;
constexpr unsigned ResponseMonitorClear = 429;
constexpr unsigned ResponseMonitorOpaque = 430;
constexpr unsigned ResponseMonitorHistory = 431;
constexpr unsigned ResponseMonitorRecord = 432;

// Graph window menu.
constexpr unsigned GraphMenu = 433;
constexpr unsigned GraphResetHistory = 434;
constexpr unsigned GraphCloseMonitor = 435;

// Notification-area menu.
constexpr unsigned TrayToggleMonitoring = 436;
constexpr unsigned TrayToggleDialog = 437;
constexpr unsigned TrayHelp = 438;
constexpr unsigned TrayAbout = 439;
constexpr unsigned TrayExit = 440;

// Why a check failed, as the list's tip and the graph show it.
constexpr unsigned FailureReasonLine = 450;  // %s = reason
constexpr unsigned ReasonTimedOut = 451;
constexpr unsigned ReasonRefused = 452;
constexpr unsigned ReasonReset = 453;
constexpr unsigned ReasonUnreachable = 454;
constexpr unsigned ReasonUnreachableWhy = 455;  // %s = the system's words
constexpr unsigned ReasonNameNotFound = 456;
constexpr unsigned ReasonLookupTimedOut = 457;
constexpr unsigned ReasonClosedBeforeReply = 458;
constexpr unsigned ReasonLocalShortage = 459;

// Messages held back while another was open, %d = how many.
constexpr unsigned MoreMessages = 460;
// The socket library could not be started (Windows).
constexpr unsigned SocketStartupFailed = 461;
// Why a TLS check failed.
constexpr unsigned ReasonCertExpired = 462;
constexpr unsigned ReasonCertNotYetValid = 463;
constexpr unsigned ReasonCertUntrusted = 464;
constexpr unsigned ReasonNameMismatch = 465;
constexpr unsigned ReasonTlsHandshakeFailed = 466;

// HTTPS and TLS: the days a certificate has left (%d), and the port settings
// dialog's row of the days of warning.
constexpr unsigned CertDaysLine = 540;
constexpr unsigned CertWarnDaysLabel = 541;
constexpr unsigned CertWarnDaysNote = 542;

// Desktop notifications of failures and recoveries: the summary for one
// entry (%s = its name) or several (%d = how many), a line per entry (%s
// name, %s target host, %s reason), and the lines left out (%d).
constexpr unsigned NotifyFailedOne = 480;
constexpr unsigned NotifyRecoveredOne = 481;
constexpr unsigned NotifyChangedMany = 482;
constexpr unsigned NotifyFailedLine = 483;
constexpr unsigned NotifyRecoveredLine = 484;
constexpr unsigned NotifyMoreLines = 485;
// The tray tip's line of failing entries, %s = their names.
constexpr unsigned TrayTipFailing = 486;
// Main dialog check boxes.
constexpr unsigned NotifyCheckBox = 487;
constexpr unsigned AutostartCheckBox = 488;
// Autostart could not be changed, %s = why.
constexpr unsigned AutostartOnFailed = 489;
constexpr unsigned AutostartOffFailed = 490;
// Why: the service host could not be run (%s program, %s the system's
// words), or it ran and the state stayed (%s program).
constexpr unsigned AutostartNotRun = 491;
constexpr unsigned AutostartNoEffect = 492;
// Why: no systemd user manager runs for this user (Linux).
constexpr unsigned AutostartNoUserManager = 700;
// The port test: how many entries failed (%d), and a line for each (%s
// name, %s host, %s reason).
constexpr unsigned PortTestProblems = 701;
constexpr unsigned PortTestFailedLine = 702;
// The About box's version line, %s = the version.
constexpr unsigned AboutVersion = 703;
// The outage export's yes and no.
constexpr unsigned CsvYes = 704;
constexpr unsigned CsvNo = 705;
// Autostart turned off in the Vigilon that the service host started: it
// keeps running until it is ended.
constexpr unsigned AutostartOffStillRunning = 761;
// UDP checks: the failure of a reply without the expected bytes; the port
// settings' mode list, its explanation of each mode, and the field checks.
constexpr unsigned ReasonUnexpectedReply = 762;
constexpr unsigned UdpModeSendOnly = 763;
constexpr unsigned UdpModeClosedFails = 764;
constexpr unsigned UdpModeExpectReply = 765;
constexpr unsigned UdpHelpSendOnly = 766;
constexpr unsigned UdpHelpClosedFails = 767;
constexpr unsigned UdpHelpExpectReply = 768;
constexpr unsigned UdpBytesInvalid = 769;

// The status page the web server shows. %1 and %2 are numbered places.
constexpr unsigned StatusPageTitle = 900;
constexpr unsigned StatusAllAnswer = 901;
constexpr unsigned StatusSomeFailing = 902;  // %1 failing, %2 entries in all
constexpr unsigned StatusNoEntries = 903;
constexpr unsigned StatusStateOk = 904;
constexpr unsigned StatusStateWarning = 905;
constexpr unsigned StatusStateFailed = 906;
constexpr unsigned StatusStateNotChecked = 907;
constexpr unsigned StatusResponse = 908;
constexpr unsigned StatusUptimeDay = 909;
constexpr unsigned StatusUptimeWeek = 910;
constexpr unsigned StatusUptimeMonth = 911;
constexpr unsigned StatusCertificate = 912;
constexpr unsigned StatusCertDaysLeft = 913;  // %1 days
constexpr unsigned StatusCertExpired = 914;   // %1 days ago
constexpr unsigned StatusLastDays = 915;
constexpr unsigned StatusNoData = 916;
constexpr unsigned StatusUpdated = 917;       // %1 time
constexpr unsigned StatusPageStopped = 918;
constexpr unsigned StatusUnreachable = 919;
// An alert command not run, as users other than the administrators may
// change where it is kept (%s that place, %s the command).
constexpr unsigned CommandRefused = 760;

// Which HTTP replies count as alive: the reasons of a refused reply (%s =
// the code and its phrase), the port settings dialog's row and its check,
// and a stored rule refused at start (%s entry name, %s the stored text).
constexpr unsigned ReasonHttpStatus = 520;
constexpr unsigned ReasonNotHttp = 521;
constexpr unsigned HttpStatusLabel = 522;
constexpr unsigned HttpStatusAny = 523;
constexpr unsigned HttpStatusSuccessOrRedirect = 524;
constexpr unsigned HttpStatusCodes = 525;
constexpr unsigned HttpStatusInvalid = 526;
constexpr unsigned HttpStatusRefused = 527;
// Entries that name their own host: the list's column, the port settings
// dialog's row (empty: the target host), and an entry named with its host
// (%s entry, %s host) where a text names entries of several hosts.
constexpr unsigned ColumnHost = 500;
constexpr unsigned HostLabel = 501;
constexpr unsigned EntryOnHost = 502;

// The history file (%s its path): damaged and started afresh, or not usable.
constexpr unsigned HistoryDamaged = 600;
constexpr unsigned HistoryUnavailable = 601;
// The metrics endpoint cannot be had: %s the address as given (and the
// system's words why).
constexpr unsigned MetricsPortInUse = 620;
constexpr unsigned MetricsNotServed = 621;
constexpr unsigned MetricsAddressInvalid = 622;
// The history where users look: the list's uptime column, the history
// switch, the outage list (its menu item, title %s = entry, columns, the
// end of one under way or not seen, the duration (%D days), its export and
// a failed write (%s file, %s reason)), the CSV's header and the graph
// window's lines (%s 24 h, 7 d, 30 d; %s start, %s duration, %s reason).
constexpr unsigned ColumnUptime = 640;
constexpr unsigned HistoryCheckBox = 641;
constexpr unsigned ListMenuOutages = 642;
constexpr unsigned OutageListTitle = 643;
constexpr unsigned OutageColumnStart = 644;
constexpr unsigned OutageColumnEnd = 645;
constexpr unsigned OutageColumnDuration = 646;
constexpr unsigned OutageColumnReason = 647;
constexpr unsigned OutageUnderWay = 648;
constexpr unsigned OutageEndUnobserved = 649;
constexpr unsigned OutageDurationDays = 650;
constexpr unsigned OutageDuration = 651;
constexpr unsigned OutageExportButton = 652;
constexpr unsigned OutageExportTitle = 653;
constexpr unsigned OutageExportFilter = 654;
constexpr unsigned OutageExportFailed = 655;
constexpr unsigned OutageCsvHeader = 656;
constexpr unsigned OutageNoHistory = 657;
constexpr unsigned GraphUptimeLine = 658;
constexpr unsigned GraphOutageLine = 659;
constexpr unsigned GraphOutagesButton = 660;
constexpr unsigned OutageCloseButton = 661;
constexpr unsigned OutageNone = 662;
constexpr unsigned ReasonNotPermitted = 739;

// An alert was not run: %d alerts already wait, %s = its command.
constexpr unsigned AlertQueueFull = 690;
// A host typed with a blank or a control character in it.
constexpr unsigned HostInvalid = 691;
// No check could be made for want of descriptors: status line, tray tip
// (%s = target host) and notice.
constexpr unsigned StatusNothingChecked = 692;
constexpr unsigned TrayTipNothingChecked = 693;
constexpr unsigned NothingCheckedNotice = 694;

// What an HTTP entry sends and asks of the reply's body: the reasons of a
// failed check, the port settings dialog's rows and their checks (%s the
// header line; %s PCRE2's message), and a stored content rule refused at
// start (%s entry name, %s the rule, %s why).
constexpr unsigned ReasonTextNotFound = 800;
constexpr unsigned ReasonTextFound = 801;
constexpr unsigned ReasonNoMatch = 802;
constexpr unsigned ReasonBodyTooLarge = 803;
constexpr unsigned ReasonRedirectToHttp = 804;
constexpr unsigned ReasonTooManyRedirects = 805;
constexpr unsigned ReasonBadLocation = 806;
constexpr unsigned RequestMethodLabel = 810;
constexpr unsigned RequestPathLabel = 811;
constexpr unsigned RequestHeadersLabel = 812;
constexpr unsigned RequestBodyLabel = 813;
constexpr unsigned RequestRedirectsCheck = 814;
constexpr unsigned ContentRuleLabel = 815;
constexpr unsigned ContentRuleNone = 816;
constexpr unsigned ContentRuleContains = 817;
constexpr unsigned ContentRuleLacks = 818;
constexpr unsigned ContentRuleRegex = 819;
constexpr unsigned RequestPathInvalid = 820;
constexpr unsigned RequestHeaderInvalid = 821;
constexpr unsigned RequestHeaderReserved = 822;
constexpr unsigned RequestHeadWithRule = 823;
constexpr unsigned ContentRuleEmpty = 824;
constexpr unsigned ContentRulePatternInvalid = 825;
constexpr unsigned ContentRuleRefused = 826;
constexpr unsigned RequestBodyNote = 827;
// Messages sent to a channel (webhook, chat, e-mail) and why one was not
// delivered. %s and %d as in formatText().
constexpr unsigned ChannelSubjectDown = 850;
constexpr unsigned ChannelSubjectUp = 851;
constexpr unsigned ChannelSubjectStillDown = 852;
constexpr unsigned ChannelSubjectMany = 853;
constexpr unsigned ChannelLineDown = 854;
constexpr unsigned ChannelLineUp = 855;
constexpr unsigned ChannelLineStillDown = 856;
constexpr unsigned ChannelErrorsLine = 857;
constexpr unsigned ChannelCertLine = 858;
constexpr unsigned ChannelSinceLine = 859;
constexpr unsigned ChannelDurationDays = 860;
constexpr unsigned ChannelDurationHours = 861;
constexpr unsigned ChannelDurationMinutes = 862;
constexpr unsigned ChannelDurationSeconds = 863;
constexpr unsigned ChannelTestSubject = 864;
constexpr unsigned ChannelFailingNotice = 865;
constexpr unsigned ChannelReasonRefused = 866;
constexpr unsigned ChannelReasonTimeout = 867;
constexpr unsigned ChannelReasonStatus = 868;
constexpr unsigned ChannelReasonCertificate = 869;
constexpr unsigned ChannelReasonOther = 870;
constexpr unsigned ChannelReasonInvalid = 871;
// Heartbeat (Push) entries and the access to the server's pages.
constexpr unsigned ReasonNoHeartbeat = 940;
constexpr unsigned ReasonReportedDown = 941;
constexpr unsigned PushGroup = 942;
constexpr unsigned PushTokenLabel = 943;
constexpr unsigned PushCopy = 944;
constexpr unsigned PushRegenerate = 945;
constexpr unsigned PushCallLabel = 946;
constexpr unsigned PushRegenerateAsk = 947;
constexpr unsigned PushServerOff = 948;     // the curl line's placeholder address
constexpr unsigned PushNote = 949;
constexpr unsigned MetricsOpenWithoutPassword = 950; // %1 address
constexpr unsigned EntryIdLabel = 951;
// The DNS kind: its reasons, its dialog rows and
// what the dialog refuses.
constexpr unsigned ReasonDnsNxDomain = 1000;
constexpr unsigned ReasonDnsServFail = 1001;
constexpr unsigned ReasonDnsRefused = 1002;
constexpr unsigned ReasonDnsNoAnswer = 1003;
constexpr unsigned ReasonDnsAnswerDiffers = 1004;
constexpr unsigned DnsPanelTitle = 1005;
constexpr unsigned DnsNameLabel = 1006;
constexpr unsigned DnsTypeLabel = 1007;
constexpr unsigned DnsExpectLabel = 1008;
constexpr unsigned DnsExpectAny = 1009;
constexpr unsigned DnsExpectContains = 1010;
constexpr unsigned DnsExpectExactly = 1011;
constexpr unsigned DnsAnswersLabel = 1012;
constexpr unsigned DnsNameEmpty = 1013;
constexpr unsigned DnsNameInvalid = 1014;
constexpr unsigned DnsAnswersEmpty = 1015;
constexpr unsigned DnsAnswerInvalid = 1016;
constexpr unsigned DnsAnswersNote = 1017;

// The port settings dialog's rows that every kind has: the entry's group,
// its name, and its own interval, retry limit and timeout with their units,
// and what empty ones stand for (%s the global interval, the global retry
// limit, the default timeout).
constexpr unsigned EntryGroup = 1050;
constexpr unsigned EntryNameLabel = 1051;
constexpr unsigned EntryIntervalLabel = 1052;
constexpr unsigned EntryIntervalUnit = 1053;
constexpr unsigned EntryRetryLabel = 1054;
constexpr unsigned EntryRetryUnit = 1055;
constexpr unsigned EntryTimeoutLabel = 1056;
constexpr unsigned EntryTimeoutUnit = 1057;
constexpr unsigned EntryScheduleHelp = 1058;
// The UDP kind panel's rows.
constexpr unsigned UdpModeLabel = 1060;
constexpr unsigned UdpPayloadLabel = 1061;
constexpr unsigned UdpExpectLabel = 1062;
constexpr unsigned UdpBytesNote = 1063;
// Quiet periods: the port list's menu, the tray menu, the list's and the
// tray tip's marks, the port settings dialog's row, the status page.
constexpr unsigned ListMenuQuietHour = 1100;
constexpr unsigned ListMenuQuietEightHours = 1101;
constexpr unsigned ListMenuQuietUntilResumed = 1102;
constexpr unsigned ListMenuResume = 1103;
constexpr unsigned TrayQuietAllHour = 1104;
constexpr unsigned TrayQuietAllEightHours = 1105;
constexpr unsigned TrayQuietAllUntilResumed = 1106;
constexpr unsigned TrayResumeAll = 1107;
constexpr unsigned QuietNameMark = 1108;      // %s = the entry's name
constexpr unsigned TrayTipQuiet = 1109;       // %s = the quiet entries
constexpr unsigned QuietWindowsLabel = 1110;
constexpr unsigned QuietWindowsInvalid = 1111; // %s = what does not read
constexpr unsigned GraphQuietLine = 1112;
constexpr unsigned OutageQuietMark = 1113;
constexpr unsigned StatusStateQuiet = 1114;

// The Channels dialog, its test message and the tray tip's channel line.
constexpr unsigned ChannelsCaption = 1150;
constexpr unsigned ChannelsButton = 1151;
constexpr unsigned TrayChannels = 1152;
constexpr unsigned ChannelColumnName = 1153;
constexpr unsigned ChannelColumnKind = 1154;
constexpr unsigned ChannelColumnUrl = 1155;
constexpr unsigned ChannelColumnSuccess = 1156;
constexpr unsigned ChannelColumnError = 1157;
constexpr unsigned ChannelKindJson = 1158;
constexpr unsigned ChannelKindNtfy = 1159;
constexpr unsigned ChannelKindSlack = 1160;
constexpr unsigned ChannelKindEmail = 1161;
constexpr unsigned ChannelKindInvalid = 1162;
constexpr unsigned ChannelNameLabel = 1163;
constexpr unsigned ChannelUrlLabel = 1164;
constexpr unsigned ChannelHeadersLabel = 1165;
constexpr unsigned ChannelRecoveryCheck = 1166;
constexpr unsigned ChannelReminderLabel = 1167;
constexpr unsigned ChannelReminderNote = 1168;
constexpr unsigned ChannelAddButton = 1169;
constexpr unsigned ChannelDeleteButton = 1170;
constexpr unsigned ChannelTestButton = 1171;
constexpr unsigned ChannelSecretNote = 1172;
constexpr unsigned ChannelNever = 1173;
constexpr unsigned ChannelStatusText = 1174;
constexpr unsigned ChannelErrorAt = 1175;
constexpr unsigned ChannelWaiting = 1176;
constexpr unsigned ChannelTesting = 1177;
constexpr unsigned ChannelTestDelivered = 1178;
constexpr unsigned ChannelTestFailed = 1179;
constexpr unsigned ChannelTestAnswer = 1180;
constexpr unsigned ChannelUrlStillMasked = 1181;
constexpr unsigned ChannelUrlRefused = 1182;
constexpr unsigned ChannelUrlEmpty = 1183;
constexpr unsigned ChannelSaveFailed = 1184;
constexpr unsigned TrayTipChannel = 1185;
constexpr unsigned ChannelNewName = 1186;
constexpr unsigned ChannelsUnavailable = 1187;
// Basic authentication in the port settings dialog's HTTP panel.
constexpr unsigned RequestUserLabel = 1300;
constexpr unsigned RequestPasswordLabel = 1301;
constexpr unsigned RequestUserInvalid = 1302;
constexpr unsigned RequestPasswordWithoutUser = 1303;
constexpr unsigned RequestAuthorizationWithUser = 1304;

// The port settings dialog's channels' list.
constexpr unsigned PortChannelsGroup = 1350;
constexpr unsigned PortChannelsNone = 1351;
constexpr unsigned PortChannelsAllNote = 1352;
constexpr unsigned PortChannelUnnamed = 1353; // %s = the kind, %s = the URL masked

} // namespace sid

} // namespace vigilon
