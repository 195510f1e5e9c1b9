// SPDX-License-Identifier: MIT
#include "base/StringTable.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace vigilon {

namespace {

struct StringEntry {
    unsigned id;
    std::string_view japanese;
    std::string_view english;
};

// Kept in ascending id order: the lookup is a binary search. Each entry is
// the Japanese text, then the English one. The Win32 resources are made from
// this file by the build: no text may hold a semicolon or a closing brace.
constexpr std::array kStrings{
    StringEntry{sid::StartButton, "開始(&S)", "&Start"},
    StringEntry{sid::StopButton, "停止(&S)", "&Stop"},
    StringEntry{sid::ColumnPortName, "ポート名", "Port"},
    StringEntry{sid::ColumnErrorCount, "エラー数", "Errors"},
    StringEntry{sid::ColumnLastErrorTime, "最終エラー発生時刻", "Last error"},
    StringEntry{sid::ConfirmActivatePort, "ポートの監視をアクティブにしますか?", "Start watching this port?"},
    StringEntry{sid::ConfirmDeactivatePort, "ポートの監視を無効にしますか?", "Stop watching this port?"},
    StringEntry{sid::DateTimeFormat, "%Y年 %m月 %d日 %H:%M:%S", "%Y-%m-%d %H:%M:%S"},
    StringEntry{sid::ColumnCommand, "実行コマンド名", "Command"},
    StringEntry{sid::AddPlaceholderName, "追加", "Add"},
    StringEntry{sid::ConfirmDeletePort, "ポート(%d)監視の登録を削除しますか?", "Remove port %d from the list?"},
    StringEntry{sid::StatusStopped, "ポート監視サービスは現在停止しています。", "Monitoring is stopped."},
    StringEntry{sid::StatusMonitoring, "ポート監視中 開始日時:%s\r\n%s経過",
                "Monitoring since %s\r\n%s elapsed"},
    StringEntry{sid::ElapsedTimeFormat, "%D日 %H:%M:%S", "%Dd %H:%M:%S"},
    StringEntry{sid::StopToChangeSettings, "設定を変更するには、監視サービスを停止してください。",
                "Stop monitoring to change the settings."},
    StringEntry{sid::NoActivePortOnStart,
                "監視対象ポートが設定されていないか、アクティブにチェックされていません。\r\n"
                "監視対象ポート左のチェックボクスがチェックされているか確認してください。",
                "No port is set up, or none is ticked as active.\r\n"
                "Tick the box to the left of each port to watch."},
    StringEntry{sid::MainDialogTitle, "Lumivane - %s", "Lumivane - %s"},
    StringEntry{sid::TrayTipStopped, "デバイス %s\r\nポート監視サービスは停止しています",
                "Device %s\r\nMonitoring is stopped"},
    StringEntry{sid::TrayTipRunning, "デバイス %s\r\nポート監視サービスが開始されています",
                "Device %s\r\nMonitoring is running"},
    StringEntry{sid::InvalidPortNumber, "正しいポート番号を入力してください。", "Enter a valid port number."},
    StringEntry{sid::ColumnResponseTime, "応答時間", "Response"},
    StringEntry{sid::PortTestAllOk, "監視対象ポートはすべて正常です。", "All ports answer."},
    StringEntry{sid::PortTestProblem, "監視対象ポートに問題があります。", "A port does not answer."},
    StringEntry{sid::DuplicatePort, "すでに同じポートの監視が登録されています。", "This port is already in the list."},
    StringEntry{sid::NoActivePortOnTest,
                "監視対象ポートが設定されていないか、アクティブにチェックされていません。\r\n"
                "監視対象ポート左のチェックボクスがチェックされているか確認してください。",
                "No port is set up, or none is ticked as active.\r\n"
                "Tick the box to the left of each port to watch."},
    StringEntry{sid::ColumnThreshold, "警告閾値", "Warn at"},
    StringEntry{sid::ExitCaption, "Lumivane", "Lumivane"},
    StringEntry{sid::ConfirmExit, "アプリケーションを終了しますか?", "Exit Vigilon?"},
    StringEntry{sid::ConfirmExitWhileMonitoring,
                "アプリケーションを終了しますか?\r\n"
                "アプリケーション終了すると、ポート監視も終了します。",
                "Exit Vigilon?\r\n"
                "Monitoring stops when Vigilon exits."},
    StringEntry{sid::GraphElapsedFormat, "%D日 %H時間 %M分 %S秒", "%Dd %Hh %Mm %Ss"},
    StringEntry{sid::GraphDateTimeFormat, "%Y年 %m月 %d日 %H時%M分%S秒", "%Y-%m-%d %H:%M:%S"},
    StringEntry{sid::GraphMaxLabel, "最大=%d", "Max=%d"},
    StringEntry{sid::GraphTimeLabel, "%H:%M:%S", "%H:%M:%S"},
    StringEntry{sid::GraphTargetHost, "対象ホスト: %s", "Host: %s"},
    StringEntry{sid::GraphTargetPort, "対象ポート: ", "Port: "},
    StringEntry{sid::GraphSeriesValue, "%s 現在の値: %d", "%s now: %d"},
    StringEntry{sid::GraphStartAndCount, "開始時刻 %s 経過時間: %s\r\nサンプル数: %d\r\n",
                "Started %s Elapsed: %s\r\nSamples: %d\r\n"},
    StringEntry{sid::GraphCreateFailed, "グラフ ウィンドウを作成できません。", "The graph window could not be created."},
    StringEntry{sid::UiFontFace, "ＭＳ Ｐゴシック", "Tahoma"},
    StringEntry{sid::ConfirmStopMonitoring, "監視サービスを停止しますか?", "Stop monitoring?"},
    StringEntry{sid::ConfirmStartMonitoring, "監視サービスを開始しますか?", "Start monitoring?"},
    StringEntry{sid::RecordFileFilter,
                "*.csv (csv ファイル)|*.csv|*.txt (txt ファイル)|*.txt|"
                "*.* (すべてのファイル)|*.*||",
                "*.csv (CSV files)|*.csv|*.txt (text files)|*.txt|"
                "*.* (all files)|*.*||"},
    StringEntry{sid::RecordFileDialogTitle, "データファイルの保存", "Save Samples As"},
    StringEntry{sid::FileDialogFailed, "ダイアログ ボックスを開けません。", "The file dialog could not be opened."},
    StringEntry{sid::ListHintEmpty, "ここを'追加'をクリックして監視ポートを設定してください。",
                "Click 'Add' here to set up a port to watch."},
    StringEntry{sid::ListHintEntries,
                "'追加'をクリックして、新しく監視ポートを追加するか\r\n"
                "既存のポート行をダブルクリックして設定を編集/削除することができます。",
                "Click 'Add' to add a port to watch, or\r\n"
                "double-click a port's row to edit or remove it."},
    StringEntry{sid::HelpBrowserFailed, "デフォルトのブラウザを開くことができません。",
                "The default web browser could not be opened."},
    StringEntry{sid::HelpErrorCaption, "Vigilon", "Vigilon"},
    StringEntry{sid::RetryLimitRange, "リトライ回数は、1から5の値を設定してください。",
                "Retries must be between 1 and 5."},
    StringEntry{sid::IntervalRange, "ポーリング間隔は、1秒以上を設定してください。",
                "The interval must be at least 1 second."},
    StringEntry{sid::CommandFailed, "外部コマンドの実行に失敗しました。\r\n%s", "The alert command could not be run.\r\n%s"},
    StringEntry{sid::SettingsNotSaved, "設定を保存できませんでした。\r\n%s", "The settings could not be saved.\r\n%s"},
    StringEntry{sid::StatusShortage, "資源不足: %d 件のポートは交替でチェックしています",
                "Short of resources: %d ports are checked in turns"},
    StringEntry{sid::TrayTipShortage, "デバイス %s\r\n資源不足: %d 件のポートは交替でチェック",
                "Device %s\r\nShort of resources: %d ports checked in turns"},
    StringEntry{sid::ShortageNotice,
                "システムの資源 (ファイル記述子またはソケット) が不足しているため、監視対象ポートを毎回すべてはチェックで"
                "きません。ポートは交替でチェックされます。\r\n上限を上げてください (Linux: ulimit -n)。",
                "The system is short of resources (file descriptors or sockets), so not every port can be "
                "checked in each round. The ports are checked in turns.\r\nRaise the limit (Linux: ulimit -n)."},
    StringEntry{sid::ListMenuAdd, "追加(&A)...", "&Add..."},
    StringEntry{sid::ListMenuEdit, "編集(&E)...\tF2", "&Edit...\tF2"},
    StringEntry{sid::ListMenuDelete, "削除(&D)...\tDel", "&Delete...\tDel"},
    StringEntry{sid::ListMenuActivate, "監視をアクティブにする(&T)\tSpace", "Ac&tivate\tSpace"},
    StringEntry{sid::ListMenuDeactivate, "監視を無効にする(&T)\tSpace", "Deac&tivate\tSpace"},
    StringEntry{sid::ListMenuGraph, "応答時間グラフ(&G)...", "Response time &graph..."},
    StringEntry{sid::ListMenuCopy, "コピー(&C)\tCtrl+C", "&Copy\tCtrl+C"},
    StringEntry{sid::OkButton, "OK", "OK"},
    StringEntry{sid::CancelButton, "キャンセル", "Cancel"},
    StringEntry{sid::CancelButtonMnemonic, "キャンセル(&C)", "&Cancel"},
    StringEntry{sid::DeleteButton, "削除(&D)", "&Delete"},
    StringEntry{sid::BrowseButton, "参照(&B)", "&Browse..."},
    StringEntry{sid::DialogFontFace, "ＭＳ Ｐゴシック", "MS Shell Dlg"},
    StringEntry{sid::AboutCaption, "バージョン情報", "About Vigilon"},
    StringEntry{sid::TargetButton, "ターゲット(&G)", "Tar&get..."},
    StringEntry{sid::ExitButton, "終了(&X)", "E&xit"},
    StringEntry{sid::PortTestButton, "ポート テスト(&T)", "&Test Ports"},
    StringEntry{sid::IntervalLabel, "間隔(&I):", "&Interval:"},
    StringEntry{sid::RetryLabel, "再試行(&R):", "&Retries:"},
    StringEntry{sid::PortSettingsCaption, "監視ポート設定", "Port Settings"},
    StringEntry{sid::PortSettingsGroup, "ポートの設定", "Port"},
    StringEntry{sid::PortExamplesGroup, "ポート例", "Examples"},
    StringEntry{sid::PortNumberLabel, "ポート番号:", "Port:"},
    StringEntry{sid::ProtocolLabel, "プロトコル:", "Protocol:"},
    StringEntry{sid::CommandLabel, "実行コマンド:", "Command:"},
    StringEntry{sid::ThresholdLabel, "警告閾値:", "Warn at:"},
    StringEntry{sid::ThresholdNote, "ms (設定しない場合は 値 0 )", "ms (0 for no warning)"},
    StringEntry{sid::KindGenericTcp, "汎用TCP", "Generic TCP"},
    StringEntry{sid::KindGenericUdp, "汎用UDP", "Generic UDP"},
    StringEntry{sid::TargetHostCaption, "ターゲット ホストの変更", "Change Target Host"},
    StringEntry{sid::TargetHostPrompt, "ホスト名またはIPアドレスを指定してください。",
                "Enter a host name or an IP address."},
    StringEntry{sid::ResponseMonitorCaption, "応答速度の監視", "Response Time Monitor"},
    StringEntry{sid::ResponseMonitorGroup, "監視設定", "Settings"},
    StringEntry{sid::ResponseMonitorIntro,
                "以下の選択されたポートの応答速度を監視します。必要な情報を設定してください。",
                "Watches the response time of the port below. Choose how to show it."},
    StringEntry{sid::ResponseMonitorPort, "監視ポート:", "Port:"},
    StringEntry{sid::ResponseMonitorAlpha, "透過表示:", "Opacity:"},
    StringEntry{sid::ResponseMonitorClear, "透過", "Clear"},
    StringEntry{sid::ResponseMonitorOpaque, "非透過", "Solid"},
    StringEntry{sid::ResponseMonitorHistory, "最大履歴数(&H):", "&History size:"},
    StringEntry{sid::ResponseMonitorRecord, "ファイルに保存(&F)", "Save to &file"},
    StringEntry{sid::GraphMenu, "グラフ", "Graph"},
    StringEntry{sid::GraphResetHistory, "応答履歴をリセット", "&Reset History"},
    StringEntry{sid::GraphCloseMonitor, "この監視を閉じる(&C)", "&Close This Monitor"},
    StringEntry{sid::TrayToggleMonitoring, "サービスの開始/停止(&S)", "&Start/Stop Monitoring"},
    StringEntry{sid::TrayToggleDialog, "ダイアログボックス表示/非表示(&D)", "Show/Hide &Window"},
    StringEntry{sid::TrayHelp, "ヘルプ(&H)...", "&Help..."},
    StringEntry{sid::TrayAbout, "バージョン情報(&A)", "&About Vigilon"},
    StringEntry{sid::TrayExit, "終了(&X)", "E&xit"},
    StringEntry{sid::FailureReasonLine, "エラーの理由: %s", "Reason: %s"},
    StringEntry{sid::ReasonTimedOut, "応答なし (タイムアウト)", "no answer (timed out)"},
    StringEntry{sid::ReasonRefused, "接続を拒否されました", "connection refused"},
    StringEntry{sid::ReasonReset, "接続がリセットされました", "connection reset"},
    StringEntry{sid::ReasonUnreachable, "到達できません", "unreachable"},
    StringEntry{sid::ReasonUnreachableWhy, "到達できません: %s", "unreachable: %s"},
    StringEntry{sid::ReasonNameNotFound, "ホスト名が見つかりません", "host name not found"},
    StringEntry{sid::ReasonLookupTimedOut, "名前解決がタイムアウトしました", "name lookup timed out"},
    StringEntry{sid::ReasonClosedBeforeReply, "応答前に切断されました", "closed before a reply"},
    StringEntry{sid::ReasonLocalShortage, "ローカルの資源不足", "short of local resources"},
    StringEntry{sid::MoreMessages, "(このほかに %d 件のメッセージがありました)", "(%d more messages came meanwhile)"},
    StringEntry{sid::SocketStartupFailed, "Winsockの初期化に失敗しました。", "Winsock could not be started."},
    StringEntry{sid::ReasonCertExpired, "証明書の有効期限が切れています", "certificate expired"},
    StringEntry{sid::ReasonCertNotYetValid, "証明書はまだ有効ではありません", "certificate not yet valid"},
    StringEntry{sid::ReasonCertUntrusted, "証明書が信頼されていません", "certificate not trusted"},
    StringEntry{sid::ReasonNameMismatch, "名前が証明書と一致しません", "name does not match"},
    StringEntry{sid::ReasonTlsHandshakeFailed, "TLSハンドシェイクに失敗しました", "TLS handshake failed"},
    StringEntry{sid::NotifyFailedOne, "障害: %s", "Failed: %s"},
    StringEntry{sid::NotifyRecoveredOne, "復旧: %s", "Recovered: %s"},
    StringEntry{sid::NotifyChangedMany, "%d 件のポートの状態が変わりました", "%d ports changed"},
    StringEntry{sid::NotifyFailedLine, "%s (%s) 応答なし: %s", "%s on %s failed: %s"},
    StringEntry{sid::NotifyRecoveredLine, "%s (%s) 復旧しました", "%s on %s answers again"},
    StringEntry{sid::NotifyMoreLines, "…ほか %d 件", "…and %d more"},
    StringEntry{sid::TrayTipFailing, "障害: %s", "Failing: %s"},
    StringEntry{sid::NotifyCheckBox, "デスクトップ通知(&N)", "Desktop &notifications"},
    StringEntry{sid::AutostartCheckBox, "ログオン時に自動起動(&L)", "Start at &logon"},
    StringEntry{sid::AutostartOnFailed, "自動起動を設定できませんでした。\r\n%s", "Autostart could not be turned on.\r\n%s"},
    StringEntry{sid::AutostartOffFailed, "自動起動を解除できませんでした。\r\n%s", "Autostart could not be turned off.\r\n%s"},
    StringEntry{sid::AutostartNotRun, "%s を実行できません: %s", "%s could not be run: %s"},
    StringEntry{sid::AutostartNoEffect, "%s は終了しましたが、設定は変わりませんでした。", "%s ended, but nothing changed."},
    StringEntry{sid::ColumnHost, "ホスト", "Host"},
    StringEntry{sid::HostLabel, "ホスト:", "Host:"},
    StringEntry{sid::EntryOnHost, "%s (%s)", "%s on %s"},
    StringEntry{sid::ReasonHttpStatus, "HTTPステータス %s", "HTTP %s"},
    StringEntry{sid::ReasonNotHttp, "HTTPの応答ではありません", "not an HTTP reply"},
    StringEntry{sid::HttpStatusLabel, "正常応答:", "HTTP OK:"},
    StringEntry{sid::HttpStatusAny, "すべての応答", "any reply"},
    StringEntry{sid::HttpStatusSuccessOrRedirect, "2xx と 3xx", "2xx and 3xx"},
    StringEntry{sid::HttpStatusCodes, "次のコード:", "these codes:"},
    StringEntry{sid::HttpStatusInvalid,
                "HTTPステータス コード (100 から 599) をカンマで区切って入力してください。"
                "範囲は 300-399 や 2xx のように指定できます。\r\n例: 200,204,300-399",
                "Please enter HTTP status codes from 100 to 599, separated by commas. "
                "Ranges are written as 300-399 or 2xx.\r\nFor example: 200,204,300-399"},
    StringEntry{sid::HttpStatusRefused,
                "%s: HTTPステータス コードの指定「%s」が正しくありません。"
                "設定で直すまで、このポートは監視されません。",
                "%s: the HTTP status codes '%s' are not valid. "
                "This entry is not checked until they are corrected in its settings."},
    StringEntry{sid::CertDaysLine, "証明書の残り日数: %d 日", "Certificate: %d days left"},
    StringEntry{sid::CertWarnDaysLabel, "証明書警告:", "Cert. warning:"},
    StringEntry{sid::CertWarnDaysNote, "日前 (警告しない場合は 値 0 )", "days before expiry (0: none)"},
    StringEntry{sid::HistoryDamaged, "履歴ファイル %s が壊れていたため、別の名前で残して新しく作り直しました。",
                "The history file %s was damaged. It was moved aside and a new one was started."},
    StringEntry{sid::HistoryUnavailable, "履歴ファイル %s を使用できません。履歴を残さずに監視を続けます。",
                "The history file %s cannot be used. Monitoring goes on without keeping a history."},
    StringEntry{sid::MetricsPortInUse,
                "メトリクスを %s で提供できません。このポートは別のプログラムが使用しています。"
                "メトリクスなしで監視を続けます。",
                "The metrics cannot be served at %s: another program uses the port. "
                "Monitoring goes on without them."},
    StringEntry{sid::MetricsNotServed,
                "メトリクスを %s で提供できません (%s)。メトリクスなしで監視を続けます。",
                "The metrics cannot be served at %s (%s). Monitoring goes on without them."},
    StringEntry{sid::MetricsAddressInvalid,
                "メトリクスのアドレス「%s」が正しくありません。"
                "アドレス:ポート(IPv4アドレスは0.0.0.0のように10進数4つで)、[IPv6アドレス]:ポート、"
                "またはポート番号で指定してください。"
                "メトリクスなしで監視を続けます。",
                "The metrics address '%s' is not valid: give ADDRESS:PORT (an IPv4 address as four decimal "
                "numbers, such as 0.0.0.0), [IPV6]:PORT or a port. Monitoring goes on without metrics."},
    StringEntry{sid::ColumnUptime, "稼働率 (24時間)", "Uptime (24 h)"},
    StringEntry{sid::HistoryCheckBox, "履歴を保存(&K)", "&Keep history"},
    StringEntry{sid::ListMenuOutages, "障害履歴(&O)...", "&Outages..."},
    StringEntry{sid::OutageListTitle, "障害履歴 - %s", "Outages of %s"},
    StringEntry{sid::OutageColumnStart, "開始", "Start"},
    StringEntry{sid::OutageColumnEnd, "終了", "End"},
    StringEntry{sid::OutageColumnDuration, "継続時間", "Duration"},
    StringEntry{sid::OutageColumnReason, "原因", "Reason"},
    StringEntry{sid::OutageUnderWay, "継続中", "under way"},
    StringEntry{sid::OutageEndUnobserved, "%s (監視終了)", "%s (not observed)"},
    StringEntry{sid::OutageDurationDays, "%D日 %H:%M:%S", "%D d %H:%M:%S"},
    StringEntry{sid::OutageDuration, "%H:%M:%S", "%H:%M:%S"},
    StringEntry{sid::OutageExportButton, "CSV に出力(&E)...", "&Export CSV..."},
    StringEntry{sid::OutageExportTitle, "障害履歴の出力", "Export Outages"},
    StringEntry{sid::OutageExportFilter, "*.csv (csv ファイル)|*.csv|*.* (すべてのファイル)|*.*||",
                "*.csv (CSV files)|*.csv|*.* (all files)|*.*||"},
    StringEntry{sid::OutageExportFailed, "%s に書き込めませんでした。\r\n%s", "%s could not be written.\r\n%s"},
    StringEntry{sid::OutageCsvHeader, "開始,終了,継続時間 (秒),原因,アラート実行,終了を確認",
                "start,end,duration_seconds,reason,alert_ran,end_observed"},
    StringEntry{sid::OutageNoHistory, "履歴がありません。", "No history is kept."},
    StringEntry{sid::GraphUptimeLine, "稼働率 24時間 %s / 7日 %s / 30日 %s", "Uptime 24 h %s / 7 d %s / 30 d %s"},
    StringEntry{sid::GraphOutageLine, "障害 %s (%s) %s", "Outage %s (%s) %s"},
    StringEntry{sid::GraphOutagesButton, "障害履歴(&O)...", "&Outages..."},
    StringEntry{sid::OutageCloseButton, "閉じる", "Close"},
    StringEntry{sid::OutageNone, "障害はありません。", "No outages."},
    StringEntry{sid::AlertQueueFull,
                "警告コマンドが %d 件、実行中のプログラムの終了を待っているため、次のコマンドは実行しませんでした。"
                "待ちに空きができるまで、これ以降の警告コマンドも実行されません。\r\n%s",
                "%d alert commands already wait for running alert programs to end, so this one was not run, nor "
                "will others be until one of them has started.\r\n%s"},
    StringEntry{sid::HostInvalid, "ホスト名またはアドレスに空白や制御文字は使えません。",
                "A host name or address cannot hold blanks or control characters."},
    StringEntry{sid::StatusNothingChecked, "資源不足: どのポートもチェックできません",
                "Short of resources: no port can be checked"},
    StringEntry{sid::TrayTipNothingChecked, "デバイス %s\r\n資源不足: どのポートもチェックできません",
                "Device %s\r\nShort of resources: no port can be checked"},
    StringEntry{sid::NothingCheckedNotice,
                "システムの資源 (ファイル記述子またはソケット) が不足しているため、どのポートもチェックできません。"
                "何も監視されていません。\r\n上限を上げてください (Linux: ulimit -n)。",
                "The system is short of resources (file descriptors or sockets), so no port can be checked: "
                "nothing is monitored.\r\nRaise the limit (Linux: ulimit -n)."},
    StringEntry{sid::AutostartNoUserManager,
                "このユーザーの systemd ユーザー マネージャーが動いていません (systemctl --user が使えません)。"
                "systemd が管理するセッションでログオンするか、デスクトップの自動起動に \"vigilon -service\" を追加してください。",
                "No systemd user manager is running for this user (systemctl --user does not work). "
                "Log on through a session that systemd manages, or add \"vigilon -service\" to the desktop's "
                "autostart programs."},
    StringEntry{sid::PortTestProblems, "%d 個の監視対象ポートに問題があります。", "%d ports do not answer."},
    StringEntry{sid::PortTestFailedLine, "%s (%s): %s", "%s on %s: %s"},
    StringEntry{sid::AboutVersion, "Vigilon バージョン %s", "Vigilon Version %s"},
    StringEntry{sid::CsvYes, "はい", "yes"},
    StringEntry{sid::CsvNo, "いいえ", "no"},
    StringEntry{sid::ReasonNotPermitted, "この利用者には PING の送信が許可されていません",
                "this user may not send pings here"},
    StringEntry{sid::CommandRefused,
                "外部コマンドを実行しませんでした: それを保持するキー (%s) は管理者以外のユーザーも変更できます。"
                "管理者は Vigilsvc -revoke でその権限を取り消せます。\r\n%s",
                "The alert command was not run: users other than the administrators may change the key that holds "
                "it (%s). An administrator can take that right back with Vigilsvc -revoke.\r\n%s"},
    StringEntry{sid::AutostartOffStillRunning,
                "Vigilsvc を削除しました。今後ログオン時に Vigilon は起動しません。この Vigilon は終了するまで監視を続けます。",
                "Vigilsvc was removed: Vigilon will no longer be started at logon. This Vigilon keeps monitoring until "
                "you exit it."},
    StringEntry{sid::ReasonUnexpectedReply, "期待した内容を含まない応答が返りました", "unexpected reply"},
    StringEntry{sid::UdpModeSendOnly, "送信のみ", "Send only"},
    StringEntry{sid::UdpModeClosedFails, "閉じたポートを失敗とする", "Closed port fails"},
    StringEntry{sid::UdpModeExpectReply, "応答を待つ", "Expect a reply"},
    StringEntry{sid::UdpHelpSendOnly,
                "データグラムを送信できれば正常です。ポートが閉じていても、ホストが停止していても検出できません。",
                "Ok once the datagram is sent. Detects neither a closed port nor a host that is down."},
    StringEntry{sid::UdpHelpClosedFails,
                "ポートが ICMP で拒否すると失敗です (1 秒まで待ちます)。無応答のポートは正常のままです。"
                "ICMP を落とすファイアウォールの向こうでは検出できません。",
                "Fails when the port refuses with ICMP (waits up to 1 s). A silent port stays Ok, and a firewall "
                "that drops ICMP hides a closed port."},
    StringEntry{sid::UdpHelpExpectReply,
                "送信データ (テキスト、または hex: に続く 16 進) への応答がタイムアウトまでに来なければ失敗です。"
                "期待する内容を指定すると、それを含まない応答も失敗です。",
                "Fails unless a reply to the payload (text, or hex: and hex digits) comes within the timeout. With "
                "expected bytes given, a reply without them fails too."},
    StringEntry{sid::UdpBytesInvalid, "hex: の後には 2 桁ずつの 16 進数を入力してください。",
                "After hex:, enter hex digits in pairs."},
    StringEntry{sid::ReasonTextNotFound, "テキストが見つかりません", "text not found"},
    StringEntry{sid::ReasonTextFound, "含まれてはならないテキストがあります", "text found"},
    StringEntry{sid::ReasonNoMatch, "正規表現に一致しません", "no match"},
    StringEntry{sid::ReasonBodyTooLarge, "本文が大きすぎて判定できません", "body too large"},
    StringEntry{sid::ReasonRedirectToHttp, "HTTPS から HTTP へのリダイレクトはたどりません",
                "redirect from HTTPS to HTTP refused"},
    StringEntry{sid::ReasonTooManyRedirects, "リダイレクトが多すぎます", "too many redirects"},
    StringEntry{sid::ReasonBadLocation, "リダイレクト先が正しくありません", "redirect to an unusable location"},
    StringEntry{sid::RequestMethodLabel, "メソッド:", "Method:"},
    StringEntry{sid::RequestPathLabel, "パス:", "Path:"},
    StringEntry{sid::RequestHeadersLabel, "追加ヘッダー:", "Headers:"},
    StringEntry{sid::RequestBodyLabel, "本文 (POST):", "Body (POST):"},
    StringEntry{sid::RequestRedirectsCheck, "リダイレクトをたどる (5 回まで)(&R)", "Follow &redirects (up to 5)"},
    StringEntry{sid::ContentRuleLabel, "本文の条件:", "Content:"},
    StringEntry{sid::ContentRuleNone, "条件なし", "no rule"},
    StringEntry{sid::ContentRuleContains, "次を含む", "contains"},
    StringEntry{sid::ContentRuleLacks, "次を含まない", "does not contain"},
    StringEntry{sid::ContentRuleRegex, "正規表現に一致", "matches regex"},
    StringEntry{sid::RequestPathInvalid, "パスは / で始め、空白、制御文字、# を含めないでください。例: /status?full=1",
                "The path must begin with / and cannot hold blanks, control characters or #. For example: "
                "/status?full=1"},
    StringEntry{sid::RequestHeaderInvalid, "ヘッダーの行「%s」が正しくありません。1 行に 1 つ「名前: 値」の形で入力してください。",
                "The header line '%s' is not valid: write one header a line, as Name: value."},
    StringEntry{sid::RequestHeaderReserved, "ヘッダーの行「%s」は指定できません。Host、Content-Length、"
                "Transfer-Encoding、Connection はチェックが自分で送ります。",
                "The header line '%s' cannot be given: the check sends Host, Content-Length, Transfer-Encoding "
                "and Connection itself."},
    StringEntry{sid::RequestHeadWithRule,
                "HEAD の応答には本文がないため、本文の条件を判定できません。GET か POST を選ぶか、条件をなしにしてください。",
                "A reply to HEAD has no body, so its content cannot be checked: choose GET or POST, or no content "
                "rule."},
    StringEntry{sid::ContentRuleEmpty, "本文の条件に使うテキストを入力してください。",
                "Please enter the text of the content rule."},
    StringEntry{sid::ContentRulePatternInvalid, "正規表現が正しくありません: %s",
                "The regular expression is not valid: %s"},
    StringEntry{sid::ContentRuleRefused,
                "%s: 本文の条件「%s」が正しくありません (%s)。設定で直すまで、このポートは監視されません。",
                "%s: the content rule '%s' is not valid (%s). This entry is not checked until it is corrected in "
                "its settings."},
    StringEntry{sid::RequestBodyNote, "Content-Type は追加ヘッダーで指定 (既定: フォーム形式)",
                "Content-Type: give it in the headers (default: form data)"},
    StringEntry{sid::ChannelSubjectDown, "%s が応答しません", "%s is down"},
    StringEntry{sid::ChannelSubjectUp, "%s が再び応答しています", "%s answers again"},
    StringEntry{sid::ChannelSubjectStillDown, "%s はまだ応答しません", "%s is still down"},
    StringEntry{sid::ChannelSubjectMany, "%d 件のエントリの状態が変わりました", "%d entries changed"},
    StringEntry{sid::ChannelLineDown, "%s (%s) が応答しません: %s", "%s (%s) is down: %s"},
    StringEntry{sid::ChannelLineUp, "%s (%s) が再び応答しています (停止時間 %s)", "%s (%s) answers again after %s down"},
    StringEntry{sid::ChannelLineStillDown, "%s (%s) はまだ応答しません (%s 経過): %s", "%s (%s) is still down for %s: %s"},
    StringEntry{sid::ChannelErrorsLine, "エラー数: %d", "Errors: %d"},
    StringEntry{sid::ChannelCertLine, "証明書の残り日数: %d", "Certificate days left: %d"},
    StringEntry{sid::ChannelSinceLine, "停止開始: %s UTC", "Down since %s UTC"},
    StringEntry{sid::ChannelDurationDays, "%d 日 %d 時間 %d 分", "%d d %d h %d min"},
    StringEntry{sid::ChannelDurationHours, "%d 時間 %d 分", "%d h %d min"},
    StringEntry{sid::ChannelDurationMinutes, "%d 分", "%d min"},
    StringEntry{sid::ChannelDurationSeconds, "%d 秒", "%d s"},
    StringEntry{sid::ChannelTestSubject, "Vigilon のテストメッセージ", "Vigilon test message"},
    StringEntry{sid::ChannelFailingNotice, "%s へのメッセージが 1 時間送れていません: %s", "Messages to %s have failed for an hour: %s"},
    StringEntry{sid::ChannelReasonRefused, "接続が拒否されました", "the connection was refused"},
    StringEntry{sid::ChannelReasonTimeout, "時間内に応答がありませんでした", "no answer in time"},
    StringEntry{sid::ChannelReasonStatus, "サーバーの応答は %d でした", "the server answered %d"},
    StringEntry{sid::ChannelReasonCertificate, "サーバーの証明書を信頼できません", "the server's certificate is not trusted"},
    StringEntry{sid::ChannelReasonOther, "送信できませんでした: %s", "sending failed: %s"},
    StringEntry{sid::ChannelReasonInvalid, "URL が正しくありません: %s", "the URL is not valid: %s"},
    StringEntry{sid::StatusPageTitle, "Vigilon の状態", "Vigilon status"},
    StringEntry{sid::StatusAllAnswer, "すべて応答しています", "All systems answer"},
    StringEntry{sid::StatusSomeFailing, "%1 件が失敗しています (全 %2 件中)", "%1 of %2 failing"},
    StringEntry{sid::StatusNoEntries, "まだ確認したポートはありません", "No entry has been checked yet"},
    StringEntry{sid::StatusStateOk, "正常", "Ok"},
    StringEntry{sid::StatusStateWarning, "警告", "Warning"},
    StringEntry{sid::StatusStateFailed, "失敗", "Failed"},
    StringEntry{sid::StatusStateNotChecked, "未確認", "Not checked"},
    StringEntry{sid::StatusResponse, "応答時間", "Response"},
    StringEntry{sid::StatusUptimeDay, "稼働率 24 時間", "Uptime 24 h"},
    StringEntry{sid::StatusUptimeWeek, "7 日", "7 days"},
    StringEntry{sid::StatusUptimeMonth, "30 日", "30 days"},
    StringEntry{sid::StatusCertificate, "証明書", "Certificate"},
    StringEntry{sid::StatusCertDaysLeft, "残り %1 日", "%1 days left"},
    StringEntry{sid::StatusCertExpired, "%1 日前に期限切れ", "expired %1 days ago"},
    StringEntry{sid::StatusLastDays, "バーは過去 90 日の各日の稼働率です (右端が今日、灰色はデータなし)",
                "The bars show the uptime of each of the last 90 days (today on the right, grey without data)"},
    StringEntry{sid::StatusNoData, "データなし", "no data"},
    StringEntry{sid::StatusUpdated, "更新 %1", "Updated %1"},
    StringEntry{sid::StatusPageStopped, "監視は停止しています", "Monitoring is stopped"},
    StringEntry{sid::StatusUnreachable, "Vigilon から応答がありません。最後に得た状態を表示しています。",
                "Vigilon does not answer. The page shows the last state it had."},
    StringEntry{sid::ReasonNoHeartbeat, "ハートビートなし", "no heartbeat"},
    StringEntry{sid::ReasonReportedDown, "失敗の報告", "reported down"},
    StringEntry{sid::PushGroup, "ハートビート (Push)", "Heartbeat (Push)"},
    StringEntry{sid::PushTokenLabel, "トークン:", "Token:"},
    StringEntry{sid::PushCopy, "コピー(&O)", "C&opy"},
    StringEntry{sid::PushRegenerate, "再生成(&G)...", "Re&generate..."},
    StringEntry{sid::PushCallLabel, "呼び出し:", "Call:"},
    StringEntry{sid::PushRegenerateAsk,
                "新しいトークンを作りますか?\r\n今のトークンでの呼び出しは、OK を押して保存した後は受け付けられません。",
                "Make a new token?\r\nCalls with the current token are refused once you press OK."},
    StringEntry{sid::PushServerOff, "ADDR:PORT", "ADDR:PORT"},
    StringEntry{sid::PushNote,
                "間隔 × (再試行 + 1) の間に呼び出しがないと失敗になります。\r\n"
                "?status=down&msg=... で失敗を報告します。--metrics が必要です。",
                "Fails without a call within interval x (retries + 1).\r\n"
                "?status=down&msg=... reports a failure. Needs --metrics."},
    StringEntry{sid::MetricsOpenWithoutPassword,
                "%1 で待ち受けていますが、パスワードがありません: 状態ページ、API、バッジは誰でも見られます "
                "(\"Metrics Password\" で設定できます)",
                "listening on %1 beyond this machine without a password: anyone who reaches it sees the status "
                "page, the API and the badges (set \"Metrics Password\")"},
    StringEntry{sid::EntryIdLabel, "ID:", "ID:"},
    StringEntry{sid::ReasonDnsNxDomain, "NXDOMAIN (名前が存在しません)", "NXDOMAIN"},
    StringEntry{sid::ReasonDnsServFail, "SERVFAIL (サーバーが応答できません)", "SERVFAIL"},
    StringEntry{sid::ReasonDnsRefused, "REFUSED (サーバーが問い合わせを拒否しました)", "REFUSED"},
    StringEntry{sid::ReasonDnsNoAnswer, "該当するレコードがありません", "no answer"},
    StringEntry{sid::ReasonDnsAnswerDiffers, "応答が期待と異なります", "answer differs"},
    StringEntry{sid::DnsPanelTitle, "DNS の問い合わせ", "DNS query"},
    StringEntry{sid::DnsNameLabel, "名前:", "Query:"},
    StringEntry{sid::DnsTypeLabel, "種類:", "Type:"},
    StringEntry{sid::DnsExpectLabel, "期待値:", "Expect:"},
    StringEntry{sid::DnsExpectAny, "応答があればよい", "Any answer"},
    StringEntry{sid::DnsExpectContains, "次をすべて含む", "Contains these"},
    StringEntry{sid::DnsExpectExactly, "次と完全に一致する", "Exactly these"},
    StringEntry{sid::DnsAnswersLabel, "応答:", "Answers:"},
    StringEntry{sid::DnsNameEmpty, "問い合わせる名前を入力してください。", "Type the name to ask the DNS server for."},
    StringEntry{sid::DnsNameInvalid, "問い合わせる名前が正しくありません: %s", "The query name is not a valid DNS name: %s"},
    StringEntry{sid::DnsAnswersEmpty, "期待する応答を入力してください (カンマ区切り)。",
                "Type the expected answers, separated by commas."},
    StringEntry{sid::DnsAnswerInvalid, "%s の応答として正しくありません: %s", "Not a valid %s answer: %s"},
    StringEntry{sid::DnsAnswersNote, "カンマ区切り。例: MX は 10 mail.example.com", "Separated by commas, e.g. MX as 10 mail.example.com"},
    StringEntry{sid::EntryGroup, "このエントリ", "This entry"},
    StringEntry{sid::EntryNameLabel, "名前:", "Name:"},
    StringEntry{sid::EntryIntervalLabel, "間隔:", "Interval:"},
    StringEntry{sid::EntryIntervalUnit, "秒 (1～99999)", "s (1-99999)"},
    StringEntry{sid::EntryRetryLabel, "リトライ:", "Retries:"},
    StringEntry{sid::EntryRetryUnit, "回 (1～5)", "(1-5)"},
    StringEntry{sid::EntryTimeoutLabel, "タイムアウト:", "Timeout:"},
    StringEntry{sid::EntryTimeoutUnit, "ミリ秒 (100～60000)", "ms (100-60000)"},
    StringEntry{sid::EntryScheduleHelp,
                "空欄のときは、メイン画面の監視間隔 (%s 秒) とリトライ回数 (%s)、タイムアウト %s ミリ秒で監視します。",
                "Left empty: the main window's interval (%s s) and retries (%s), and a timeout of %s ms."},
    StringEntry{sid::UdpModeLabel, "モード:", "Mode:"},
    StringEntry{sid::UdpPayloadLabel, "送信データ:", "Payload:"},
    StringEntry{sid::UdpExpectLabel, "期待する応答:", "Expect:"},
    StringEntry{sid::UdpBytesNote, "テキスト、または hex: に続く 16 進 (例: hex:1b 00)", "Text, or hex: and hex digits (e.g. hex:1b 00)"},
    StringEntry{sid::ListMenuQuietHour, "1 時間通知を止める", "Quiet for 1 hour"},
    StringEntry{sid::ListMenuQuietEightHours, "8 時間通知を止める", "Quiet for 8 hours"},
    StringEntry{sid::ListMenuQuietUntilResumed, "再開するまで通知を止める", "Quiet until I resume"},
    StringEntry{sid::ListMenuResume, "通知を再開する", "Resume alerts"},
    StringEntry{sid::TrayQuietAllHour, "すべて 1 時間通知を止める", "Quiet all for 1 hour"},
    StringEntry{sid::TrayQuietAllEightHours, "すべて 8 時間通知を止める", "Quiet all for 8 hours"},
    StringEntry{sid::TrayQuietAllUntilResumed, "すべて再開するまで通知を止める", "Quiet all until I resume"},
    StringEntry{sid::TrayResumeAll, "すべての通知を再開する", "Resume alerts for all"},
    StringEntry{sid::QuietNameMark, "%s [通知停止中]", "%s [quiet]"},
    StringEntry{sid::TrayTipQuiet, "通知停止中: %s", "Quiet: %s"},
    StringEntry{sid::QuietWindowsLabel, "通知停止:", "Quiet times:"},
    StringEntry{sid::QuietWindowsInvalid,
                "通知を止める時間帯を読めません: %s\r\n曜日と時刻の範囲で入力してください (例: Sun 02:00-04:00,Mon-Fri 12:00-13:00)。",
                "The quiet times cannot be read: %s\r\nWrite days and a time range, such as "
                "Sun 02:00-04:00,Mon-Fri 12:00-13:00."},
    StringEntry{sid::GraphQuietLine, "通知停止中", "Quiet"},
    StringEntry{sid::OutageQuietMark, "通知停止中", "quiet"},
    StringEntry{sid::StatusStateQuiet, "通知停止中", "Quiet"},
    StringEntry{sid::ChannelsCaption, "通知チャンネル", "Channels"},
    StringEntry{sid::ChannelsButton, "チャンネル(&H)...", "C&hannels..."},
    StringEntry{sid::TrayChannels, "通知チャンネル(&C)...", "&Channels..."},
    StringEntry{sid::ChannelColumnName, "名前", "Name"},
    StringEntry{sid::ChannelColumnKind, "種類", "Kind"},
    StringEntry{sid::ChannelColumnUrl, "URL", "URL"},
    StringEntry{sid::ChannelColumnSuccess, "最終成功", "Last success"},
    StringEntry{sid::ChannelColumnError, "最終エラー", "Last error"},
    StringEntry{sid::ChannelKindJson, "Webhook (JSON)", "Webhook (JSON)"},
    StringEntry{sid::ChannelKindNtfy, "ntfy", "ntfy"},
    StringEntry{sid::ChannelKindSlack, "Slack 互換", "Slack-compatible"},
    StringEntry{sid::ChannelKindEmail, "メール", "E-mail"},
    StringEntry{sid::ChannelKindInvalid, "無効", "Not valid"},
    StringEntry{sid::ChannelNameLabel, "名前(&N):", "&Name:"},
    StringEntry{sid::ChannelUrlLabel, "&URL:", "&URL:"},
    StringEntry{sid::ChannelHeadersLabel, "ヘッダー(&E):", "H&eaders:"},
    StringEntry{sid::ChannelRecoveryCheck, "ポートが再び応答したときも送る(&R)", "Send a message when an entry answers &again"},
    StringEntry{sid::ChannelReminderLabel, "リマインダー(&M):", "Re&mind every"},
    StringEntry{sid::ChannelReminderNote, "分ごと (0: なし)", "minutes (0: never)"},
    StringEntry{sid::ChannelAddButton, "追加(&D)", "A&dd"},
    StringEntry{sid::ChannelDeleteButton, "削除(&L)", "De&lete"},
    StringEntry{sid::ChannelTestButton, "テスト送信(&T)", "Send &test message"},
    StringEntry{sid::ChannelSecretNote, "パスワードとトークンは **** と表示されます。そのままにすると保存済みの値を使います。", "Passwords and tokens show as ****. Left as they are, the stored ones are kept."},
    StringEntry{sid::ChannelNever, "なし", "never"},
    StringEntry{sid::ChannelStatusText, "最終成功: %s\r\n最終エラー: %s", "Last success: %s\r\nLast error: %s"},
    StringEntry{sid::ChannelErrorAt, "%s (%s)", "%s (%s)"},
    StringEntry{sid::ChannelWaiting, "送信待ち: %d 件", "%d waiting"},
    StringEntry{sid::ChannelTesting, "テストメッセージを送信しています...", "Sending a test message..."},
    StringEntry{sid::ChannelTestDelivered, "テストメッセージを送信しました。サーバーの応答: %s", "Test message delivered. The server answered: %s"},
    StringEntry{sid::ChannelTestFailed, "テストメッセージを送信できませんでした: %s", "Test message not delivered: %s"},
    StringEntry{sid::ChannelTestAnswer, "%s (応答の本文: %s)", "%s, saying: %s"},
    StringEntry{sid::ChannelUrlStillMasked, "URL に **** が残っています。パスワードやトークンを含めて URL 全体を入力し直してください。", "The URL still holds ****. Type the whole URL again, with its password or token."},
    StringEntry{sid::ChannelUrlRefused, "チャンネル %s: %s", "Channel %s: %s"},
    StringEntry{sid::ChannelUrlEmpty, "URL を入力してください。", "Please enter the channel's URL."},
    StringEntry{sid::ChannelSaveFailed, "チャンネルを保存できませんでした。", "The channels could not be saved."},
    StringEntry{sid::TrayTipChannel, "チャンネル %s: %s", "Channel %s: %s"},
    StringEntry{sid::ChannelNewName, "新しいチャンネル", "New channel"},
    StringEntry{sid::ChannelsUnavailable, "このプログラムではチャンネルを使えません。", "This program has no channels."},
    StringEntry{sid::RequestUserLabel, "ユーザー:", "User:"},
    StringEntry{sid::RequestPasswordLabel, "パスワード:", "Password:"},
    StringEntry{sid::RequestUserInvalid, "ユーザー名にコロン(:)や制御文字は使えません。",
                "The user name cannot hold a colon or a control character."},
    StringEntry{sid::RequestPasswordWithoutUser,
                "パスワードにはユーザー名が必要です。ユーザー名を入力するか、パスワードを消してください。",
                "A password needs a user name: type the user name, or clear the password."},
    StringEntry{sid::RequestAuthorizationWithUser,
                "ヘッダーの行「%s」は指定できません。ユーザーを指定したときは、チェックが Authorization "
                "を自分で送ります。",
                "The header line '%s' cannot be given: with a user, the check sends Authorization itself."},
    StringEntry{sid::PortChannelsGroup, "チャンネル", "Channels"},
    StringEntry{sid::PortChannelsNone, "チャンネルが設定されていません", "No channels configured"},
    StringEntry{sid::PortChannelsAllNote, "すべてチェックすると、後から追加したチャンネルにも送ります。",
                "All ticked: every channel, also those added later."},
    StringEntry{sid::PortChannelUnnamed, "%s: %s", "%s: %s"},
    StringEntry{sid::RecordFileOpenError, "ファイル オープン エラー!", "The file could not be opened."},
    StringEntry{sid::ListHintMonitoring,
                "監視サービスの開始中、ここをクリックすると\r\n"
                "応答時間履歴をグラフ表示します。",
                "While monitoring, click here to see\r\n"
                "the response times as a graph."},
    StringEntry{sid::MonitoringCaption, "監視サービス", "Monitoring"},
    StringEntry{sid::RecordHeaderSampling, "サンプリング日時", "サンプリング日時"},
    StringEntry{sid::RecordHeaderTarget, "ターゲット: %s", "ターゲット: %s"},
    StringEntry{sid::RecordHeaderSource, "送信元: %s", "送信元: %s"},
    StringEntry{sid::ParseInteger, "整数を入力してください。", "Please enter an integer."},
    StringEntry{sid::ParseUnsigned, "正の整数を入力してください。", "Please enter a positive integer."},
    StringEntry{sid::ParseIntegerRange, "%1 から %2 までの整数を入力してください。",
                "Please enter an integer between %1 and %2."},
    StringEntry{sid::ParseStringSize, "%1 文字以内で入力してください。", "Please enter no more than %1 characters."},
};

constexpr bool strictlyAscending()
{
    for (std::size_t i = 1; i < kStrings.size(); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id)
            return false;
    }
    return true;
}

static_assert(strictlyAscending(), "string ids must be unique and ascending");

// Index of id in kStrings, or kStrings.size() when it has no text.
std::size_t indexOf(unsigned id)
{
    const auto it = std::lower_bound(
        kStrings.begin(), kStrings.end(), id,
        [](const StringEntry &entry, unsigned key) { return entry.id < key; });
    if (it == kStrings.end() || it->id != id)
        return kStrings.size();
    return static_cast<std::size_t>(it - kStrings.begin());
}

using Texts = std::array<std::string, kStrings.size()>;

// The texts of one language as std::string, made once, so that references
// stay valid for the whole run.
const Texts &texts(Language language)
{
    static const auto make = [](std::string_view StringEntry::*text) {
        Texts result;
        for (std::size_t i = 0; i < kStrings.size(); ++i)
            result[i] = std::string(kStrings[i].*text);
        return result;
    };
    static const Texts japanese = make(&StringEntry::japanese);
    static const Texts english = make(&StringEntry::english);
    return language == Language::Japanese ? japanese : english;
}

} // namespace

const std::string &loadString(unsigned id, Language language)
{
    static const std::string empty;
    const std::size_t index = indexOf(id);
    if (index == kStrings.size())
        return empty;
    return texts(language)[index];
}

const std::string &loadString(unsigned id)
{
    return loadString(id, currentLanguage());
}

bool hasString(unsigned id)
{
    return indexOf(id) != kStrings.size();
}

std::vector<unsigned> stringIds()
{
    std::vector<unsigned> ids;
    for (const StringEntry &entry : kStrings)
        ids.push_back(entry.id);
    return ids;
}

} // namespace vigilon
