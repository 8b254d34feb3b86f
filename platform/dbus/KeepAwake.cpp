#include "platform/KeepAwake.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>
#include <atomic>

namespace {

// A bus that is there but does not answer must not hold up the window for D-Bus's own 25 s.
constexpr int kCallTimeoutMs = 1500;

// A private connection to the bus whose address `variable` names, or `fallback`; closed with the
// object. Its own connection per hold, so a bus that came or went since the last exam is found
// as it is now.
class BusConnection {
public:
    BusConnection(const char* variable, const QString& fallback)
        : name_(QStringLiteral("keep-awake-%1").arg(nextId.fetch_add(1))),
          connection_(QDBusConnection::connectToBus(address(variable, fallback), name_)) {}
    ~BusConnection() { QDBusConnection::disconnectFromBus(name_); }
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // The reply, or an error message when the call failed or took too long.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments) const {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return connection_.call(message, QDBus::Block, kCallTimeoutMs);
    }

private:
    static QString address(const char* variable, const QString& fallback) {
        const QString named = qEnvironmentVariable(variable);
        return named.isEmpty() ? fallback : named;
    }

    static inline std::atomic<int> nextId{0};
    QString name_;
    QDBusConnection connection_;
};

bool succeeded(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

QString sessionBusFallback() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : QStringLiteral("unix:path=%1/bus").arg(runtime);
}

// The login manager's inhibitor holds while its descriptor is open; the desktop's inhibit, through
// its portal or its screen saver, until it is ended here or the connection closes.
class DBusKeepAwake final : public KeepAwake {
public:
    explicit DBusKeepAwake(const QString& reason) {
        holdSleep(QCoreApplication::applicationName(), reason);
        holdScreen(QCoreApplication::applicationName(), reason);
    }

    ~DBusKeepAwake() override {
        if (!portalRequest_.path().isEmpty()) {
            session_.call(QStringLiteral("org.freedesktop.portal.Desktop"), portalRequest_.path(),
                          QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"),
                          {});
        } else if (screenSaverCookie_ != 0) {
            session_.call(screenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), screenSaver,
                          QStringLiteral("UnInhibit"), {screenSaverCookie_});
        }
    }

    bool holds() const override {
        return sleepLock_.isValid() || !portalRequest_.path().isEmpty() || screenSaverCookie_ != 0;
    }

private:
    static inline const QString screenSaver = QStringLiteral("org.freedesktop.ScreenSaver");

    void holdSleep(const QString& who, const QString& why) {
        // The lid may be refused (the system's policy decides), the rest still held.
        for (const char* what : {"sleep:idle:handle-lid-switch", "sleep:idle"}) {
            const QDBusMessage reply = system_.call(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"),
                {QString::fromLatin1(what), who, why, QStringLiteral("block")});
            if (succeeded(reply)) {
                sleepLock_ = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
                return;
            }
            // Nobody there, or nobody answering: asking again would only wait again.
            if (unanswered(reply) ||
                reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
                return;
            }
        }
    }

    void holdScreen(const QString& who, const QString& why) {
        constexpr uint suspend = 4;
        constexpr uint idle = 8;
        const QDBusMessage portal = session_.call(
            QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"),
            {QString(), suspend | idle, QVariantMap{{QStringLiteral("reason"), why}}});
        if (succeeded(portal)) {
            portalRequest_ = qvariant_cast<QDBusObjectPath>(portal.arguments().constFirst());
            return;
        }
        // A session bus that is gone or silent would not answer for the screen saver either.
        if (unanswered(portal)) {
            return;
        }
        const QDBusMessage saver =
            session_.call(screenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"), screenSaver,
                          QStringLiteral("Inhibit"), {who, why});
        if (succeeded(saver)) {
            screenSaverCookie_ = saver.arguments().constFirst().toUInt();
        }
    }

    static bool unanswered(const QDBusMessage& reply) {
        const QString error = reply.errorName();
        return error == QLatin1String("org.freedesktop.DBus.Error.Disconnected") ||
               error == QLatin1String("org.freedesktop.DBus.Error.NoReply");
    }

    BusConnection system_{"DBUS_SYSTEM_BUS_ADDRESS",
                          QStringLiteral("unix:path=/run/dbus/system_bus_socket")};
    BusConnection session_{"DBUS_SESSION_BUS_ADDRESS", sessionBusFallback()};
    QDBusUnixFileDescriptor sleepLock_;
    QDBusObjectPath portalRequest_;
    uint screenSaverCookie_ = 0;
};

}  // namespace

std::unique_ptr<KeepAwake> keepSystemAwake(const std::string& reason) {
    return std::make_unique<DBusKeepAwake>(QString::fromStdString(reason));
}
