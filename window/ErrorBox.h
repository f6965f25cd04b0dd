#pragma once

#include <QObject>
#include <QStringList>

#include <exception>
#include <functional>

class QWidget;

namespace sm {

// Shows the errors that handlers raise, one box at a time. A box runs a nested loop while timers
// go on firing; errors raised meanwhile wait their turn instead of opening a second box.
class TErrorBox : public QObject {
    Q_OBJECT

public:
    static TErrorBox& Instance();

    // Queues the text; the box appears once the current handler has returned.
    void Report(const QString& Text);
    void Report(const std::exception& Error);

    // What shows one error; a modal message box unless a test puts its own here.
    std::function<void(const QString&)> Presenter;
    // The window the boxes belong to.
    QWidget* Owner = nullptr;

    qsizetype Pending() const { return FPending.size(); }

private:
    TErrorBox();
    void ShowPending();

    QStringList FPending;
    bool FShowing = false;
    bool FScheduled = false;
};

// Runs a handler and hands any error it raises to the error box, so the loop goes on.
template <class THandler> auto Guarded(THandler Handler) {
    return [Handler](auto&&... Arguments) {
        try {
            Handler(std::forward<decltype(Arguments)>(Arguments)...);
        } catch (const std::exception& Error) {
            TErrorBox::Instance().Report(Error);
        }
    };
}

} // namespace sm
