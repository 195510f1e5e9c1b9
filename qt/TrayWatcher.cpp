// SPDX-License-Identifier: MIT
#include "qt/TrayWatcher.h"

#include "app/FrameUi.h"
#include "app/Monitor.h"
#include "qt/SessionBus.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QSystemTrayIcon>

#include <cstdio>

#ifdef VIGILON_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace vigilon {

namespace {
// Two announcements this close together are one.
constexpr int kCoalesceMs = 300;
} // namespace

#ifdef VIGILON_HAVE_XCB
// A new X11 tray manager announces itself with a MANAGER message on the root
// window. Polling alone misses a tray that is replaced faster than it polls.
class TrayWatcher::ManagerFilter final : public QAbstractNativeEventFilter {
public:
    ManagerFilter(xcb_connection_t *connection, int screen, std::function<void()> onManager)
        : onManager_(std::move(onManager))
    {
        manager_ = intern(connection, "MANAGER");
        const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
        tray_ = intern(connection, selection.c_str());
        // The messages reach only clients that listen for structure changes
        // on the root window; add that to what this connection listens for.
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screen && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem)
            return;
        const xcb_window_t root = it.data->root;
        xcb_get_window_attributes_reply_t *attributes =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr);
        if (attributes) {
            const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            std::free(attributes);
            xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(connection);
        }
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || manager_ == XCB_ATOM_NONE)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto *client = static_cast<const xcb_client_message_event_t *>(message);
        if (client->type == manager_ && client->format == 32 && client->data.data32[1] == tray_)
            onManager_();
        return false; // Qt docks its icons on the same message
    }

private:
    static xcb_atom_t intern(xcb_connection_t *connection, const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        if (!reply)
            return XCB_ATOM_NONE;
        const xcb_atom_t atom = reply->atom;
        std::free(reply);
        return atom;
    }

    std::function<void()> onManager_;
    xcb_atom_t manager_ = XCB_ATOM_NONE;
    xcb_atom_t tray_ = XCB_ATOM_NONE;
};

namespace {
// The screen of $DISPLAY (":0.1" is screen 1), which is the default screen.
int displayScreen()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}
} // namespace
#else
// Without xcb the X11 tray is found by polling alone.
class TrayWatcher::ManagerFilter {};
#endif

TrayWatcher::TrayWatcher(Monitor &frame)
    : TrayWatcher(frame, Options())
{
}

TrayWatcher::TrayWatcher(Monitor &frame, Options options)
    : frame_(frame)
    , options_(std::move(options))
{
    x11Available_ = QSystemTrayIcon::isSystemTrayAvailable();

    // Until the bus has told whether a watcher is there, the X11 tray is
    // watched; nothing here waits for the bus.
    connect(&pollTimer_, &QTimer::timeout, this, &TrayWatcher::pollX11);
    pollTimer_.start(options_.pollMs);
#ifdef VIGILON_HAVE_XCB
    // The offscreen platform answers for X11 too, with no connection.
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 && x11->connection()) {
        managerFilter_ = std::make_unique<ManagerFilter>(x11->connection(), displayScreen(), [this] {
            x11Available_ = true;
            schedule();
        });
        QCoreApplication::instance()->installNativeEventFilter(managerFilter_.get());
    }
#endif
    SessionBus::instance().whenKnown(this, [this] { onBusKnown(); });

    deliverTimer_.setSingleShot(true);
    connect(&deliverTimer_, &QTimer::timeout, this, &TrayWatcher::deliver);

    noTrayTimer_.setSingleShot(true);
    connect(&noTrayTimer_, &QTimer::timeout, this, &TrayWatcher::onNoTrayDeadline);
    noTrayTimer_.start(options_.noTrayMs);
}

void TrayWatcher::onBusKnown()
{
    SessionBus &session = SessionBus::instance();
    if (session.state() != SessionBus::State::Connected) {
        busSettled_ = true;
        emit settled();
        return;
    }
    QDBusConnection bus = session.connection();
    busWatcher_ = std::make_unique<QDBusServiceWatcher>(
        QString::fromLatin1(kWatcherService), bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    connect(busWatcher_.get(), &QDBusServiceWatcher::serviceRegistered, this, &TrayWatcher::onWatcherRegistered);
    connect(busWatcher_.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] { watcherPresent_ = false; });

    // Whether a watcher is there now, asked without waiting for the answer.
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << QString::fromLatin1(kWatcherService);
    auto *answer = new QDBusPendingCallWatcher(bus.asyncCall(ask, kBusCallMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<bool> reply = *call;
        // A registration seen meanwhile is newer than this answer.
        if (!reply.isError() && reply.value() && !pendingWatcher_) {
            watcherPresent_ = true;
            // Qt shows the icon through the watcher when one was there at
            // start, and then never looks at the X11 tray.
            watcherAtStart_ = true;
            pollTimer_.stop();
#ifdef VIGILON_HAVE_XCB
            if (managerFilter_ && QCoreApplication::instance())
                QCoreApplication::instance()->removeNativeEventFilter(managerFilter_.get());
            managerFilter_.reset();
#endif
        }
        busSettled_ = true;
        emit settled();
    });
}

TrayWatcher::~TrayWatcher()
{
#ifdef VIGILON_HAVE_XCB
    if (managerFilter_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(managerFilter_.get());
#endif
}

bool TrayWatcher::statusNotifierWatcherPresent() const
{
    return watcherPresent_;
}

bool TrayWatcher::trayExists() const
{
    // Only the protocol Qt chose at start can show our icon.
    return watcherAtStart_ ? statusNotifierWatcherPresent() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayWatcher::pollX11()
{
    const bool now = QSystemTrayIcon::isSystemTrayAvailable();
    const bool appeared = now && !x11Available_;
    x11Available_ = now;
    if (appeared)
        schedule();
}

void TrayWatcher::onWatcherRegistered()
{
    watcherPresent_ = true;
    pendingWatcher_ = true;
    schedule();
}

void TrayWatcher::schedule()
{
    if (!deliverTimer_.isActive())
        deliverTimer_.start(kCoalesceMs);
}

void TrayWatcher::deliver()
{
    if (frame_.closed())
        return;
    if (pendingWatcher_ && !watcherAtStart_ && !frame_.serviceMode() && !restartNoteGiven_) {
        restartNoteGiven_ = true;
        say("vigilon: a StatusNotifier tray (org.kde.StatusNotifierWatcher) appeared after start; "
            "the icon will show there after Vigilon is started again");
    }
    pendingWatcher_ = false;
    frame_.onTaskbarCreated();
    emit taskbarCreated();
}

void TrayWatcher::onNoTrayDeadline()
{
    if (frame_.closed() || trayExists())
        return;
    // Headless there is neither a tray nor a screen to show the dialog on.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    if (!noTrayNoteGiven_) {
        noTrayNoteGiven_ = true;
        say("vigilon: no system tray exists; the main dialog is shown instead. An indicator extension adds "
            "a tray to GNOME (gnome-shell-extension-appindicator on Debian)");
    }
    if (!frame_.dialogVisible())
        frame_.onCommand(res::CmdToggleDialog);
}

void TrayWatcher::say(const std::string &text)
{
    if (options_.note) {
        options_.note(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace vigilon
