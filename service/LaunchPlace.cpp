// SPDX-License-Identifier: MIT
#include "service/LaunchPlace.h"

namespace vigilon::svc {

LaunchPlace chooseLaunchPlace(std::uint32_t activeConsole, std::uint32_t ownSession, bool userLoggedOn)
{
    if (activeConsole == kNoSession || activeConsole == ownSession || !userLoggedOn)
        return LaunchPlace{false, ownSession};
    return LaunchPlace{true, activeConsole};
}

void LaunchPlaces::started(const LaunchPlace &wanted, const LaunchPlace &actual)
{
    anyStart_ = true;
    current_ = actual;
    refused_ = wanted == actual ? LaunchPlace{} : wanted;
}

bool LaunchPlaces::misplaced(const LaunchPlace &wanted) const
{
    if (!anyStart_ || wanted == current_)
        return false;
    return !(wanted.userSession && wanted == refused_);
}

} // namespace vigilon::svc
