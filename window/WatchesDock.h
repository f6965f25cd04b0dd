#pragma once

#include "sessions/Watches.h"
#include "slotmachine/Machine.h"

#include <QWidget>

#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace sm {

class TMachineClock;

// The watches in «Автоматы»: the machine's values beside what the displays show, the slot, the
// token, each automaton's state, whether it is busy and its current state's guards with their
// values now, each timer's interval and time left. What the last input changed is marked.
class TWatchesDock : public QWidget, private TMachineObserver {
    Q_OBJECT

public:
    explicit TWatchesDock(TMachineClock& Clock, QWidget* Parent = nullptr);
    ~TWatchesDock() override;

    QTreeWidget* Tree() const { return FTree; }
    // Reads the machine anew; after an input, also what it changed.
    void Refresh(bool AfterInput);
    // The item of a watch by its name, and whether it is marked changed.
    QTreeWidgetItem* Item(const QString& Name) const;
    bool Marked(const QString& Name) const;

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;

private:
    void MachineChanged(unsigned Changes) noexcept override;

    TMachineClock& FClock;
    QTreeWidget* FTree;
    std::vector<TWatch> FBefore;     // before the last input
    std::vector<TWatch> FAfterInput; // after it
    bool FPosted = false;
    int64_t FRefreshed = 0; // the wall clock at the last refresh by a frame
};

} // namespace sm
