// SPDX-License-Identifier: MIT
#include "app/dialogs/ResponseMonitorForm.h"

#include "base/StringTable.h"
#include "app/dialogs/DataExchange.h"
#include "app/platform/FileSystem.h"
#include "graph/FileDialogStatus.h"

#include <algorithm>
#include <string_view>

namespace vigilon {

namespace {
// A stored value beyond a control's range only has to stay beyond it.
int beyondAtMost(std::uint32_t value, int high)
{
    return static_cast<int>(std::min<std::uint32_t>(value, static_cast<std::uint32_t>(high) + 1));
}
} // namespace

ResponseMonitorForm ResponseMonitorForm::forGraph(const ResponseGraphParams &params)
{
    return forGraph(params, platform::documentsFolder());
}

ResponseMonitorForm ResponseMonitorForm::forGraph(const ResponseGraphParams &params, const std::string &folder)
{
    ResponseMonitorForm form;
    form.portText = params.seriesNames;
    form.alpha = params.alpha;
    form.maxHistory = params.maxHistory;
    // Each entry its own file, where the user may write: one name for all,
    // in the current directory, had the second recording refused and, for
    // a program started from the menu, pointed into its install folder.
    form.folder = folder;
    form.defaultFileBase = fileBaseFor(params.targetHost, params.seriesNames);
    if (!folder.empty())
        form.defaultFileBase = folder + platform::kPathSeparator + form.defaultFileBase;
    return form;
}

std::string ResponseMonitorForm::fileBaseFor(const std::string &targetHost, const std::string &entryName)
{
    std::string base = targetHost.empty() ? entryName : targetHost + " " + entryName;
    for (char &c : base) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    }
    // Windows drops dots and blanks at a name's end; nor may it start with
    // a dot, which would hide it here.
    while (!base.empty() && (base.back() == '.' || base.back() == ' '))
        base.pop_back();
    while (!base.empty() && (base.front() == '.' || base.front() == ' '))
        base.erase(0, 1);
    return base.empty() ? std::string("sample") : base;
}

void ResponseMonitorForm::applyTo(ResponseGraphParams &params) const
{
    params.alpha = alpha;
    params.maxHistory = maxHistory;
    params.recordToFile = recordToFile;
    params.fileName = recordToFile ? fileName : std::string();
}

void ResponseMonitorForm::init(Controls &controls) const
{
    DataExchange::writeNumber(controls.historyField(), maxHistory);
    controls.setPortText(portText);
    // The up-down control rewrites the field with its position.
    controls.setHistorySpinPos(beyondAtMost(maxHistory, HistoryHigh));
    controls.fileField().setText(defaultFileBase + ".csv");
    controls.setAlphaPos(beyondAtMost(alpha, AlphaHigh));
}

void ResponseMonitorForm::onRecordToggled(Controls &controls) const
{
    // The name stays as it is either way.
    controls.setFileControlsEnabled(controls.recordChecked());
}

void ResponseMonitorForm::onBrowse(Controls &controls, Prompter &prompter) const
{
    // A file to write: a new name is welcome, an existing file is asked
    // about before it is replaced.
    Prompter::FileDialogRequest request;
    request.open = false;
    request.title = loadString(sid::RecordFileDialogTitle);
    request.filter = loadString(sid::RecordFileFilter);
    request.defaultExtension = "csv";
    request.initialName = defaultFileBase;
    const std::string chosen = prompter.fileDialog(request);
    const auto *status = dynamic_cast<const FileDialogStatus *>(&prompter);
    if (status && status->lastFileDialogFailed()) {
        prompter.messageBox(loadString(sid::FileDialogFailed), "", mb::Ok | mb::IconStop);
        return;
    }
    // An empty answer is a cancel.
    if (!chosen.empty())
        controls.fileField().setText(chosen);
}

bool ResponseMonitorForm::onOk(Controls &controls, Prompter &prompter)
{
    DataExchange dx(prompter);
    std::int64_t history = maxHistory;
    if (dx.readInt(controls.historyField(), history, HistoryLow, HistoryHigh, false) != DataExchange::Outcome::Ok)
        return false;
    maxHistory = static_cast<std::uint32_t>(history);
    // The name is taken as typed, without a check of its extension; an
    // empty one records nothing.
    recordToFile = 0;
    const std::string name = controls.fileField().text();
    if (controls.recordChecked() && !name.empty()) {
        recordToFile = 1;
        fileName = folder.empty() || platform::isAnchoredPath(name) ? name : folder + platform::kPathSeparator + name;
    }
    alpha = static_cast<std::uint32_t>(controls.alphaPos());
    return true;
}

bool editResponseGraphParams(ResponseGraphParams &params, const std::function<bool(ResponseMonitorForm &)> &run)
{
    ResponseMonitorForm form = ResponseMonitorForm::forGraph(params);
    if (!run(form))
        return false;
    form.applyTo(params);
    return true;
}

} // namespace vigilon
