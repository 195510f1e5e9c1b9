// SPDX-License-Identifier: MIT
#include "app/base/StringTable.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace vigilon {

namespace {

struct StringEntry {
    unsigned id;
    std::string_view text;
};

// Kept in ascending id order: the lookup is a binary search.
constexpr std::array kStrings{
    StringEntry{sid::StartButton, "開始(&S)"},
    StringEntry{sid::StopButton, "停止(&S)"},
    StringEntry{sid::ColumnPortName, "ポート名"},
    StringEntry{sid::ColumnErrorCount, "エラー数"},
    StringEntry{sid::ColumnLastErrorTime, "最終エラー発生時刻"},
    StringEntry{sid::ConfirmActivatePort, "ポートの監視をアクティブにしますか?"},
    StringEntry{sid::ConfirmDeactivatePort, "ポートの監視を無効にしますか?"},
    StringEntry{sid::DateTimeFormat, "%Y年 %m月 %d日 %H:%M:%S"},
    StringEntry{sid::ColumnCommand, "実行コマンド名"},
    StringEntry{sid::AddPlaceholderName, "追加"},
    StringEntry{sid::ConfirmDeletePort, "ポート(%d)監視の登録を削除しますか?"},
    StringEntry{sid::StatusStopped, "ポート監視サービスは現在停止しています。"},
    StringEntry{sid::StatusMonitoring, "ポート監視中 開始日時:%s\r\n%s経過"},
    StringEntry{sid::ElapsedTimeFormat, "%D日 %H:%M:%S"},
    StringEntry{sid::StopToChangeSettings,
                "設定を変更するには、監視サービスを停止してください。"},
    StringEntry{sid::NoActivePortOnStart,
                "監視対象ポートが設定されていないか、アクティブにチェックされていません。\r\n"
                "監視対象ポート左のチェックボクスがチェックされているか確認してください。"},
    StringEntry{sid::MainDialogTitle, "Lumivane - %s"},
    StringEntry{sid::TrayTipStopped, "デバイス %s\r\nポート監視サービスは停止しています"},
    StringEntry{sid::TrayTipRunning, "デバイス %s\r\nポート監視サービスが開始されています"},
    StringEntry{sid::InvalidPortNumber, "正しいポート番号を入力してください。"},
    StringEntry{sid::ColumnResponseTime, "応答時間"},
    StringEntry{sid::PortTestAllOk, "監視対象ポートはすべて正常です。"},
    StringEntry{sid::PortTestProblem, "監視対象ポートに問題があります。"},
    StringEntry{sid::DuplicatePort, "すでに同じポートの監視が登録されています。"},
    StringEntry{sid::NoActivePortOnTest,
                "監視対象ポートが設定されていないか、アクティブにチェックされていません。\r\n"
                "監視対象ポート左のチェックボクスがチェックされているか確認してください。"},
    StringEntry{sid::ColumnThreshold, "警告閾値"},
    StringEntry{sid::ExitCaption, "Lumivane"},
    StringEntry{sid::ConfirmExit, "アプリケーションを終了しますか?"},
    StringEntry{sid::ConfirmExitWhileMonitoring,
                "アプリケーションを終了しますか?\r\n"
                "アプリケーション終了すると、ポート監視も終了します。"},
    StringEntry{sid::GraphElapsedFormat, "%D日 %H時間 %M分 %S秒"},
    StringEntry{sid::GraphDateTimeFormat, "%Y年 %m月 %d日 %H時%M分%S秒"},
    StringEntry{sid::GraphMaxLabel, "最大=%d"},
    StringEntry{sid::GraphTimeLabel, "%H:%M:%S"},
    StringEntry{sid::GraphTargetHost, "対象ホスト: %s"},
    StringEntry{sid::GraphTargetPort, "対象ポート: "},
    StringEntry{sid::GraphSeriesValue, "%s 現在の値: %d"},
    StringEntry{sid::GraphStartAndCount,
                "開始時刻 %s 経過時間: %s\r\nサンプル数: %d\r\n"},
    StringEntry{sid::GraphCreateFailed, "グラフ ウィンドウを作成できません。"},
    StringEntry{sid::UiFontFace, "ＭＳ Ｐゴシック"},
    StringEntry{sid::ConfirmStopMonitoring, "監視サービスを停止しますか?"},
    StringEntry{sid::ConfirmStartMonitoring, "監視サービスを開始しますか?"},
    StringEntry{sid::RecordFileFilter,
                "*.csv (csv ファイル)|*.csv|*.txt (txt ファイル)|*.txt|"
                "*.* (すべてのファイル)|*.*||"},
    StringEntry{sid::RecordFileDialogTitle, "データファイルの保存"},
    StringEntry{sid::FileDialogFailed, "ダイアログ ボックスを開けません。"},
    StringEntry{sid::ListHintEmpty,
                "ここを'追加'をクリックして監視ポートを設定してください。"},
    StringEntry{sid::ListHintEntries,
                "'追加'をクリックして、新しく監視ポートを追加するか\r\n"
                "既存のポート行をダブルクリックして設定を編集/削除することができます。"},
    StringEntry{sid::HelpBrowserFailed, "デフォルトのブラウザを開くことができません。"},
    StringEntry{sid::HelpErrorCaption, "Vigilon"},
    StringEntry{sid::RetryLimitRange, "リトライ回数は、1から5の値を設定してください。"},
    StringEntry{sid::IntervalRange, "ポーリング間隔は、1秒以上を設定してください。"},
    StringEntry{sid::CommandFailed, "外部コマンドの実行に失敗しました。\r\n%s"},
    StringEntry{sid::SettingsNotSaved, "設定を保存できませんでした。\r\n%s"},
    StringEntry{sid::StatusShortage, "資源不足: %d 件のポートは交替でチェックしています"},
    StringEntry{sid::TrayTipShortage, "デバイス %s\r\n資源不足: %d 件のポートは交替でチェック"},
    StringEntry{sid::ShortageNotice,
                "システムの資源 (ファイル記述子またはソケット) が不足しているため、監視対象ポートを毎回すべてはチェックで"
                "きません。ポートは交替でチェックされます。\r\n上限を上げてください (Linux: ulimit -n)。"},
    StringEntry{sid::RecordFileOpenError, "ファイル オープン エラー!"},
    StringEntry{sid::ListHintMonitoring,
                "監視サービスの開始中、ここをクリックすると\r\n"
                "応答時間履歴をグラフ表示します。"},
    StringEntry{sid::MonitoringCaption, "監視サービス"},
    StringEntry{sid::RecordHeaderSampling, "サンプリング日時"},
    StringEntry{sid::RecordHeaderTarget, "ターゲット: %s"},
    StringEntry{sid::RecordHeaderSource, "送信元: %s"},
    StringEntry{sid::ParseInteger, "Please enter an integer."},
    StringEntry{sid::ParseIntegerRange, "Please enter an integer between %1 and %2."},
    StringEntry{sid::ParseStringSize, "Please enter no more than %1 characters."},
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

// The texts as std::string, made once, so that references stay valid for the
// whole run.
const std::array<std::string, kStrings.size()> &texts()
{
    static const auto table = [] {
        std::array<std::string, kStrings.size()> result;
        for (std::size_t i = 0; i < kStrings.size(); ++i)
            result[i] = std::string(kStrings[i].text);
        return result;
    }();
    return table;
}

} // namespace

const std::string &loadString(unsigned id)
{
    static const std::string empty;
    const std::size_t index = indexOf(id);
    if (index == kStrings.size())
        return empty;
    return texts()[index];
}

bool hasString(unsigned id)
{
    return indexOf(id) != kStrings.size();
}

} // namespace vigilon
