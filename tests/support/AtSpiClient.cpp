#include "AtSpiClient.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace mirota::test {

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr int kCallTimeoutMs = 5000;

// a(so): references to accessible objects.
std::vector<AtSpiObject> Objects(const QVariant& v) {
    std::vector<AtSpiObject> out;
    const auto arg = v.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QString service;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> service >> path;
        arg.endStructure();
        out.push_back({service, path.path()});
    }
    arg.endArray();
    return out;
}

} // namespace

AtSpiClient::AtSpiClient() = default;

AtSpiClient::~AtSpiClient() {
    if (bus_) QDBusConnection::disconnectFromBus(bus_->name());
}

QString AtSpiClient::Connect() {
    // The launcher on the session bus tells where the accessibility bus is.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"),
        QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return "no accessibility bus on the session bus: " + reply.errorMessage();
    const QString address = reply.arguments().first().toString();
    bus_ = QDBusConnection::connectToBus(address, "mirota-atspi-client");
    if (!bus_->isConnected()) return "cannot connect to the accessibility bus " + address;
    return {};
}

QList<QVariant> AtSpiClient::Call(const AtSpiObject& o, const QString& interface, const QString& method,
                                  const QList<QVariant>& args) {
    lastError_.clear();
    if (!bus_) {
        lastError_ = "not connected";
        return {};
    }
    QDBusMessage message = QDBusMessage::createMethodCall(o.service, o.path, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = bus_->asyncCall(message, kCallTimeoutMs);
    if (!pending.isFinished()) {
        QDBusPendingCallWatcher watcher(pending);
        QEventLoop wait;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &wait, &QEventLoop::quit);
        QTimer::singleShot(kCallTimeoutMs + 1000, &wait, &QEventLoop::quit);
        if (!pending.isFinished()) wait.exec();
    }
    const QDBusMessage reply = pending.reply();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        lastError_ = method + ": " + (reply.errorMessage().isEmpty() ? "no answer" : reply.errorMessage());
        return {};
    }
    return reply.arguments();
}

QVariant AtSpiClient::Property(const AtSpiObject& o, const QString& interface, const QString& name) {
    const QList<QVariant> out = Call(o, "org.freedesktop.DBus.Properties", "Get", {interface, name});
    return out.isEmpty() ? QVariant() : out.first().value<QDBusVariant>().variant();
}

std::optional<AtSpiObject> AtSpiClient::Application(const QString& name, int timeoutMs) {
    const AtSpiObject desktop{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
    QElapsedTimer clock;
    clock.start();
    do {
        for (const AtSpiObject& app : Children(desktop))
            if (Name(app) == name) return app;
        QEventLoop pause;
        QTimer::singleShot(100, &pause, &QEventLoop::quit);
        pause.exec();
    } while (clock.elapsed() < timeoutMs);
    return std::nullopt;
}

std::vector<AtSpiObject> AtSpiClient::Children(const AtSpiObject& o) {
    const QList<QVariant> out = Call(o, kAccessible, "GetChildren");
    return out.isEmpty() ? std::vector<AtSpiObject>{} : Objects(out.first());
}

QString AtSpiClient::RoleName(const AtSpiObject& o) {
    const QList<QVariant> out = Call(o, kAccessible, "GetRoleName");
    return out.isEmpty() ? QString() : out.first().toString();
}

QString AtSpiClient::Name(const AtSpiObject& o) {
    return Property(o, kAccessible, "Name").toString();
}

QString AtSpiClient::Description(const AtSpiObject& o) {
    return Property(o, kAccessible, "Description").toString();
}

QStringList AtSpiClient::Interfaces(const AtSpiObject& o) {
    const QList<QVariant> out = Call(o, kAccessible, "GetInterfaces");
    return out.isEmpty() ? QStringList() : out.first().toStringList();
}

std::uint64_t AtSpiClient::States(const AtSpiObject& o) {
    const QList<QVariant> out = Call(o, kAccessible, "GetState");
    if (out.isEmpty()) return 0;
    const auto words = qdbus_cast<QList<uint>>(out.first());
    std::uint64_t states = 0;
    for (int i = 0; i < words.size() && i < 2; ++i)
        states |= static_cast<std::uint64_t>(words[i]) << (32 * i);
    return states;
}

QString AtSpiClient::Text(const AtSpiObject& o) {
    if (!Interfaces(o).contains(kText)) return {};
    const QList<QVariant> out = Call(o, kText, "GetText", {0, -1});
    return out.isEmpty() ? QString() : out.first().toString();
}

QStringList AtSpiClient::Actions(const AtSpiObject& o) {
    QStringList names;
    if (!Interfaces(o).contains(kAction)) return names;
    const QList<QVariant> out = Call(o, kAction, "GetActions");
    if (out.isEmpty()) return names;
    // a(sss): name, description, key binding.
    const auto arg = out.first().value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QString name, description, keys;
        arg.beginStructure();
        arg >> name >> description >> keys;
        arg.endStructure();
        names << name;
    }
    arg.endArray();
    return names;
}

bool AtSpiClient::DoAction(const AtSpiObject& o, const QString& action) {
    const int index = static_cast<int>(Actions(o).indexOf(action));
    if (index < 0) {
        lastError_ = "no action " + action;
        return false;
    }
    const QList<QVariant> out = Call(o, kAction, "DoAction", {index});
    return !out.isEmpty() && out.first().toBool();
}

std::vector<AtSpiObject> AtSpiClient::FindAll(const AtSpiObject& from, const QString& role,
                                              const QString& name) {
    std::vector<AtSpiObject> found;
    for (const AtSpiObject& child : Children(from)) {
        if (RoleName(child) == role && Name(child) == name) found.push_back(child);
        for (AtSpiObject& below : FindAll(child, role, name))
            found.push_back(std::move(below));
    }
    return found;
}

std::optional<AtSpiObject> AtSpiClient::Find(const AtSpiObject& from, const QString& role,
                                             const QString& name) {
    std::vector<AtSpiObject> found = FindAll(from, role, name);
    if (found.empty()) return std::nullopt;
    return found.front();
}

} // namespace mirota::test
