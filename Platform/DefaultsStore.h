#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace orlet {

// The user defaults: typed values under string keys, kept as one JSON object file that is
// replaced as a whole on every change, so a crash leaves the old or the new file, never half of
// one. Bytes are stored as {"base64": "..."}. Main thread only.
class DefaultsStore : public QObject {
    Q_OBJECT

public:
    using Value = std::variant<bool, double, QString, QStringList, QByteArray>;

    // Loads the file; one that does not parse is kept aside as "<file>.corrupt".
    explicit DefaultsStore(QString filePath, QObject* parent = nullptr);

    // $XDG_CONFIG_HOME/orlet/defaults.json, loaded on first use.
    static DefaultsStore& shared();

    // Values that apply while their key has never been written. Nothing is written to disk.
    void registerDefaults(const QHash<QString, Value>& defaults);

    // The written value, else the registered one. A written value that is none of the five
    // types (null, a nested object, a list holding a number) reads as absent: the key was
    // written, so its registered value no longer applies.
    std::optional<Value> value(const QString& key) const;

    // Each reads as absent when the value has another type: an integer is a number, never a
    // bool, and the string "2" is not a number.
    std::optional<bool> boolValue(const QString& key) const { return read<bool>(key); }
    std::optional<double> number(const QString& key) const { return read<double>(key); }
    std::optional<QString> string(const QString& key) const { return read<QString>(key); }
    std::optional<QStringList> stringList(const QString& key) const {
        return read<QStringList>(key);
    }
    std::optional<QByteArray> bytes(const QString& key) const { return read<QByteArray>(key); }

    // Writes the whole file at once, also when the value did not change. When the write fails
    // the value still changes for this run. A number JSON cannot carry (NaN, infinity) is
    // refused: nothing changes.
    void set(const QString& key, const Value& value);
    void remove(const QString& key);

    QString filePath() const { return filePath_; }

signals:
    void changed(const QString& key);

private:
    template <typename T> std::optional<T> read(const QString& key) const {
        const std::optional<Value> found = value(key);
        if (found) {
            if (const T* typed = std::get_if<T>(&*found)) {
                return *typed;
            }
        }
        return std::nullopt;
    }

    void load();
    void save() const;

    QString filePath_;
    // What the file holds, entries of unknown shape included, so a rewrite keeps them.
    QJsonObject stored_;
    QHash<QString, Value> registered_;
};

} // namespace orlet
