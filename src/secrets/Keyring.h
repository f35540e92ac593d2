#pragma once
// The desktop keyring (the Secret Service, through libsecret), one text
// per key. The keyring answers on the thread that made this object, which
// must run an event loop (the window's, or the command line's while it
// waits): libsecret hands its answers to that thread's main context, and a
// read asked from any other thread never ends. Any thread may call; a
// caller on another thread waits for the answer, up to kWait.

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace orv::secrets {

class IKeyring {
public:
    enum class Outcome { Done, Missing, Failed };
    virtual ~IKeyring() = default;
    virtual Outcome Write(const std::string& key, const std::string& value, std::string& error) = 0;
    virtual Outcome Read(const std::string& key, std::string& value, std::string& error) = 0;
    virtual Outcome Remove(const std::string& key, std::string& error) = 0;
};

class CKeyring final : public QObject, public IKeyring {
public:
    // A keyring that is locked asks its owner to unlock it: a person may
    // take a while, a keyring that is not there answers at once.
    static constexpr std::chrono::seconds kWait{30};
    // A keyring that does not answer a first question within this is taken
    // as none: a command run over SSH does not wait for an unlock prompt
    // nobody sees.
    static constexpr std::chrono::seconds kCheckWait{5};

    explicit CKeyring(QString service, std::chrono::milliseconds wait = kWait);

    // Whether the keyring answers at all (a read of a key nobody wrote),
    // within kCheckWait.
    bool Available(std::string& error);

    Outcome Write(const std::string& key, const std::string& value, std::string& error) override;
    Outcome Read(const std::string& key, std::string& value, std::string& error) override;
    Outcome Remove(const std::string& key, std::string& error) override;

private:
    enum class Kind { Read, Write, Remove };
    Outcome run(Kind kind, const std::string& key, std::string& value, std::string& error,
                std::chrono::milliseconds wait);

    const QString m_service;
    const std::chrono::milliseconds m_wait;
};

// The desktop keyring when one answers within kCheckWait, else nothing
// (and the log says why); ORVANTIX_SECRETS=sealed asks none. From any
// thread: the keyring is served on the program's main thread.
std::shared_ptr<CKeyring> ReachableKeyring();

// The site passphrase of ORVANTIX_SITE_PASSPHRASE, if set and not empty.
std::optional<std::string> PassphraseFromEnvironment();

} // namespace orv::secrets
