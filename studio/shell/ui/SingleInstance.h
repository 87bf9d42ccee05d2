// One studio per user. The first start holds a lock file and listens on a local
// socket; a later start finds the lock held, asks the first through the socket to
// bring its window to the front, and ends. A lock left by a studio that crashed is
// stale at once (its process is gone), so it never stops the next start.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace zolvex {
namespace studio {

// The name the studio's instances know each other by.
extern const char kInstanceName[];

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `name` is per user already or made so here (the user id is added).
    explicit SingleInstance(const QString& name = QString::fromLatin1(kInstanceName), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the first instance (it now holds the lock and listens).
    bool Claim();
    // For a later instance: tells the first to come to the front, handing over the
    // start-up id or activation token this start was given; true when the first
    // confirmed it heard.
    bool AskFirstToShow(int timeoutMs = 3000);

signals:
    // A later start asked this one to show its window; `token` is its start-up id
    // or activation token (empty when it had none).
    void showRequested(const QString& token);

private:
    void OnConnection();

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace studio
}  // namespace zolvex
