#include "Keyring.h"

#include "log/LogFile.h"

#include <QCoreApplication>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace orv::secrets {

namespace {

// One call's answer, shared by the keyring's thread and the caller.
struct Answer {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString text;
    std::string value;
};

} // namespace

CKeyring::CKeyring(QString service, std::chrono::milliseconds wait)
    : m_service(std::move(service)), m_wait(wait) {}

bool CKeyring::Available(std::string& error) {
    std::string value;
    return run(Kind::Read, "orvantix-keyring-check", value, error, kCheckWait) != Outcome::Failed;
}

IKeyring::Outcome CKeyring::Write(const std::string& key, const std::string& value,
                                  std::string& error) {
    std::string given = value;
    return run(Kind::Write, key, given, error, m_wait);
}

IKeyring::Outcome CKeyring::Read(const std::string& key, std::string& value, std::string& error) {
    return run(Kind::Read, key, value, error, m_wait);
}

IKeyring::Outcome CKeyring::Remove(const std::string& key, std::string& error) {
    std::string none;
    return run(Kind::Remove, key, none, error, m_wait);
}

IKeyring::Outcome CKeyring::run(Kind kind, const std::string& key, std::string& value,
                                std::string& error, std::chrono::milliseconds wait) {
    auto answer = std::make_shared<Answer>();
    const QString service = m_service;
    const QString name = QString::fromStdString(key);
    const QByteArray data = kind == Kind::Write ? QByteArray::fromStdString(value) : QByteArray();
    const auto start = [answer, kind, service, name, data] {
        QKeychain::Job* job = nullptr;
        if (kind == Kind::Read) {
            job = new QKeychain::ReadPasswordJob(service);
        } else if (kind == Kind::Write) {
            auto* write = new QKeychain::WritePasswordJob(service);
            write->setBinaryData(data);
            job = write;
        } else {
            job = new QKeychain::DeletePasswordJob(service);
        }
        // Never the library's plain-file fallback: a password goes into the
        // keyring or stays where it was.
        job->setInsecureFallback(false);
        job->setAutoDelete(true);
        job->setKey(name);
        QObject::connect(job, &QKeychain::Job::finished, job, [answer](QKeychain::Job* j) {
            std::lock_guard guard(answer->lock);
            answer->error = j->error();
            answer->text = j->errorString();
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(j)) {
                answer->value = read->binaryData().toStdString();
            }
            answer->finished = true;
            answer->done.notify_all();
        });
        job->start();
    };
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_lock guard(answer->lock, std::defer_lock);
    if (QThread::currentThread() == thread()) {
        start();
        for (;;) {
            guard.lock();
            if (answer->finished || std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            guard.unlock();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            50);
        }
    } else {
        QMetaObject::invokeMethod(this, start, Qt::QueuedConnection);
        guard.lock();
        answer->done.wait_until(guard, deadline, [&] { return answer->finished; });
    }
    if (!answer->finished) {
        error = "the keyring did not answer within " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
                " s";
        return Outcome::Failed;
    }
    if (answer->error == QKeychain::EntryNotFound) {
        return Outcome::Missing;
    }
    if (answer->error != QKeychain::NoError) {
        error = "the keyring refused: " + answer->text.toStdString();
        return Outcome::Failed;
    }
    if (kind == Kind::Read) {
        value = std::move(answer->value);
    }
    return Outcome::Done;
}

std::shared_ptr<CKeyring> ReachableKeyring() {
    if (qEnvironmentVariable("ORVANTIX_SECRETS") == QStringLiteral("sealed")) {
        WriteLog(1, "No keyring: ORVANTIX_SECRETS=sealed");
        return nullptr;
    }
    auto keyring = std::make_shared<CKeyring>(QStringLiteral("orvantix"));
    keyring->moveToThread(QCoreApplication::instance()->thread());
    if (std::string why; !keyring->Available(why)) {
        WriteLog(1, "No keyring: %s", why.c_str());
        return nullptr;
    }
    return keyring;
}

std::optional<std::string> PassphraseFromEnvironment() {
    const QString given = qEnvironmentVariable("ORVANTIX_SITE_PASSPHRASE");
    return given.isEmpty() ? std::nullopt : std::optional(given.toStdString());
}

} // namespace orv::secrets
