// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

// What the server tells and asks its operator: message boxes, yes/no questions, the busy pointer
// and the operator log (the lbStatus lines and the txtDati text). This base class is the
// headless behaviour: messages are logged, questions get the safe answer (no). The GUI
// overrides message() and question() with real boxes; either way serving never waits on a click.
// Called from another thread (the database's), what it says is passed to its own thread, and a
// question gets the safe answer at once: no worker ever waits on a box.
class OperatorUi : public QObject
{
    Q_OBJECT
public:
    enum class Icon { None, Information, Warning, Critical, Question };

    using QObject::QObject;

    virtual void message(const QString &text, Icon icon = Icon::None);
    virtual bool question(const QString &text);

    // The busy (hourglass) pointer is a nesting counter: shown while any holder still holds it.
    void beginBusy();
    void endBusy();
    int busyDepth() const { return m_busy; }

    void addStatus(const QString &line);   // one lbStatus line
    void appendData(const QString &text);  // appended to txtDati
    void clearLog();

    // Everything said so far (tests and the headless log read it).
    const QStringList &messages() const { return m_messages; }
    const QStringList &statusLines() const { return m_status; }
    const QString &dataText() const { return m_data; }

protected:
    // Off this object's thread: queues `f` to run on it and answers true.
    template<typename F>
    bool elsewhere(F f)
    {
        if (QThread::currentThread() == thread())
            return false;
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
        return true;
    }

signals:
    void messageShown(const QString &text, OperatorUi::Icon icon);
    void statusAdded(const QString &line);
    void dataAppended(const QString &text);
    void logCleared();
    void busyChanged(bool busy);

private:
    QStringList m_messages;
    QStringList m_status;
    QString m_data;
    int m_busy = 0;
};

// Holds the busy pointer for a scope.
class BusyPointer
{
public:
    explicit BusyPointer(OperatorUi *ui) : m_ui(ui) { if (m_ui) m_ui->beginBusy(); }
    ~BusyPointer() { if (m_ui) m_ui->endBusy(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    OperatorUi *m_ui;
};
