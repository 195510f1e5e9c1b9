// SPDX-License-Identifier: MIT
#include "service/ServiceCommand.h"

#include <string_view>

namespace vigilon::svc {

ServiceCommand parseServiceCommand(int argc, const char *const *argv)
{
    if (argc < 2 || argv[1] == nullptr)
        return ServiceCommand::Service;
    const std::string_view arg = argv[1];
    if (arg.empty() || (arg.front() != '-' && arg.front() != '/'))
        return ServiceCommand::Service;
    const std::string_view keyword = arg.substr(1);
    if (keyword == "install")
        return ServiceCommand::Install;
    if (keyword == "stop")
        return ServiceCommand::Stop;
    if (keyword == "remove")
        return ServiceCommand::Remove;
    if (keyword == "debug")
        return ServiceCommand::Debug;
    return ServiceCommand::Service;
}

} // namespace vigilon::svc
