#pragma once
// What a screen reader sees of this process's windows, asked over D-Bus as a screen reader asks: the
// accessibility bus found through the session bus (org.a11y.Bus), the applications the AT-SPI registry
// lists, and the Accessible, Text and Action interfaces of their objects. For GUI tests run by
// tests/gui/run-with-a11y-bus.sh with Qt's bridge switched on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1).
//
// The objects asked about live in this same process and answer from its event loop, so every call
// waits for its answer while the Qt event loop runs.
#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace mirota::test {

// An accessible object: the bus name of its application and its object path.
struct AtSpiObject {
    QString service;
    QString path;
    bool operator==(const AtSpiObject&) const = default;
};

// AT-SPI state bits (the StateSet's two words as one number).
enum class AtSpiState : int { Checked = 4, Enabled = 8, ReadOnly = 43 };

class AtSpiClient {
public:
    AtSpiClient();
    ~AtSpiClient();
    AtSpiClient(const AtSpiClient&) = delete;
    AtSpiClient& operator=(const AtSpiClient&) = delete;

    // Connects to the accessibility bus; empty on success, else why not.
    QString Connect();

    // The application the registry lists under this accessible name, once it has registered.
    std::optional<AtSpiObject> Application(const QString& name, int timeoutMs = 5000);

    std::vector<AtSpiObject> Children(const AtSpiObject& o);
    QString RoleName(const AtSpiObject& o);
    QString Name(const AtSpiObject& o);
    QString Description(const AtSpiObject& o);
    QStringList Interfaces(const AtSpiObject& o);
    std::uint64_t States(const AtSpiObject& o);
    bool Has(const AtSpiObject& o, AtSpiState state) { return (States(o) >> static_cast<int>(state)) & 1; }
    // The whole text of the Text interface (null when the object has none).
    QString Text(const AtSpiObject& o);
    // The names of the Action interface's actions.
    QStringList Actions(const AtSpiObject& o);
    // Runs the action of that name; false when there is none or it was refused.
    bool DoAction(const AtSpiObject& o, const QString& action);

    // The objects below `from` with this role name and accessible name, depth first.
    std::vector<AtSpiObject> FindAll(const AtSpiObject& from, const QString& role, const QString& name);
    // The first of them.
    std::optional<AtSpiObject> Find(const AtSpiObject& from, const QString& role, const QString& name);

    // The last call's error, if it failed.
    const QString& LastError() const { return lastError_; }

private:
    QList<QVariant> Call(const AtSpiObject& o, const QString& interface, const QString& method,
                         const QList<QVariant>& args = {});
    QVariant Property(const AtSpiObject& o, const QString& interface, const QString& name);

    std::optional<QDBusConnection> bus_;
    QString lastError_;
};

} // namespace mirota::test
