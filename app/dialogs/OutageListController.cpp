// SPDX-License-Identifier: MIT
#include "app/dialogs/OutageListController.h"

#include "app/DialogFace.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "graph/FileDialogStatus.h"
#include "graph/SampleFile.h"

#include <cerrno>
#include <cstring>

namespace vigilon {

bool writeWholeFile(const std::string &path, const std::string &bytes, std::string &error)
{
    const int fd = samplefile::openFile(path, error);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long long n = samplefile::writeFile(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::strerror(n < 0 ? errno : ENOSPC);
            samplefile::closeFile(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    samplefile::closeFile(fd);
    return true;
}

OutageListController::OutageListController(DialogFace &frame, Prompter &prompter, Controls &controls,
                                           std::uint32_t entryId, const std::string &entryName)
    : frame_(frame)
    , prompter_(prompter)
    , controls_(controls)
    , entryId_(entryId)
    , entryName_(entryName)
{
}

OutageListController::~OutageListController()
{
    *alive_ = false;
}

std::array<std::string, kOutageColumns> OutageListController::headers()
{
    return {loadString(sid::OutageColumnStart), loadString(sid::OutageColumnEnd),
            loadString(sid::OutageColumnDuration), loadString(sid::OutageColumnReason)};
}

void OutageListController::init()
{
    controls_.setTitle(formatText(loadString(sid::OutageListTitle), {entryName_}));
    controls_.setExportEnabled(false);
    const auto alive = alive_;
    const bool asked = frame_.historyAvailable() &&
                       frame_.requestOutages(entryId_, kLimit, [this, alive](std::vector<OutageView> outages) {
                           if (*alive)
                               show(std::move(outages));
                       });
    if (!asked)
        controls_.setRows({}, loadString(sid::OutageNoHistory));
}

void OutageListController::show(std::vector<OutageView> outages)
{
    outages_ = std::move(outages);
    const std::int64_t now = frame_.clock().nowMillis();
    std::vector<std::array<std::string, kOutageColumns>> rows;
    for (const OutageView &outage : outages_)
        rows.push_back(outageRowTexts(outage, now));
    controls_.setRows(rows, rows.empty() ? loadString(sid::OutageNone) : std::string());
    controls_.setExportEnabled(true);
}

void OutageListController::onExport()
{
    Prompter::FileDialogRequest request;
    request.open = false;
    request.title = loadString(sid::OutageExportTitle);
    request.filter = loadString(sid::OutageExportFilter);
    request.defaultExtension = "csv";
    // The entry's name without what a file name may not hold.
    std::string base;
    for (char ch : entryName_)
        base += std::strchr("\\/:*?\"<>| ()", ch) != nullptr ? '_' : ch;
    request.initialName = base + "-outages.csv";
    const auto alive = alive_;
    const std::string path = prompter_.fileDialog(request);
    if (!*alive)
        return;
    const auto *status = dynamic_cast<const FileDialogStatus *>(&prompter_);
    if (status && status->lastFileDialogFailed()) {
        prompter_.messageBox(loadString(sid::FileDialogFailed), "", mb::Ok | mb::IconStop);
        return;
    }
    if (path.empty())
        return;
    std::string error;
    if (!writeWholeFile(path, outagesCsv(outages_, frame_.clock().nowMillis()), error))
        prompter_.messageBox(formatText(loadString(sid::OutageExportFailed), {path, error}), "",
                             mb::Ok | mb::IconExclamation);
}

} // namespace vigilon
