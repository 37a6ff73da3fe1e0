#pragma once

#include <QObject>

class QSocketNotifier;

namespace ini {

// Turns SIGTERM, SIGINT and SIGHUP into the end of the event loop, so that a program goes the
// way it goes when closed (the editor removes its control channel, the viewer remembers the
// file it shows) instead of on the spot. One may exist at a time.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    // Gives the signals back their default action.
    ~QuitSignals() override;

    // The first signal that came, which ends the event loop; 0 for none. One that came before
    // the main loop runs (while a file opens) cannot end it: the loop must not start then.
    int Caught() const noexcept { return m_caught; }

private:
    void Take();

    QSocketNotifier* m_notifier = nullptr;
    int m_caught = 0;
};

// Ends the process by this signal, as whoever sent it expects.
[[noreturn]] void EndBySignal(int signal);

} // namespace ini
