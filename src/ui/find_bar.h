#pragma once

#include "outline/find/outline_search.h"

#include <QFrame>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QTimer;

namespace ini {

// What the find bar needs of the window whose outline it searches.
struct FindHost {
    // The outline's nodes and the comment switch: what each node shows of its comment, or will.
    std::function<const OutlineNodes&()> nodes;
    std::function<bool()> commentSwitch;
    // The line of the selected node, if any.
    std::function<std::optional<LineIndex>()> currentLine;
    // Selects the node of `line`, filling its block first if need be; false when the window is
    // busy and the move should be tried again later.
    std::function<bool(LineIndex)> goToLine;
};

// Find over the whole file, in a bar over the window's bottom edge: typing searches the node
// texts of every line, blocks not filled yet included, and goes to the first match from the
// selected node on; Enter and F3 go to the next match, Shift+F3 to the previous one, Escape
// hides the bar. The scan runs on a worker thread; the bar asks it for answers on a short timer,
// so neither typing nor counting ever waits for the scan.
class FindBar : public QFrame {
    Q_OBJECT

public:
    // `lines` must stay as they are except between Suspend() and Resume().
    FindBar(const LineStore& lines, FindHost host, QWidget* parent = nullptr);

    void Open();
    void FindNext();
    void FindPrevious();
    // A load is about to replace the lines: the scan stops and the bar waits; what is typed
    // into it meanwhile is kept.
    void Suspend();
    // The load is over: the search starts again on what the window holds now, with the move
    // asked for meanwhile (the first match of what was typed, or the next one on Enter).
    void Resume();
    // Node texts still to be made follow the comment switch: the search starts again.
    void CommentSwitchChanged();
    // Shows the count and where the selected node lies among the matches.
    void ShowStatus();

signals:
    // Escape or the close button hid the bar; the focus goes back to the outline.
    void closed();

private:
    enum class Move { None, Typed, Next, Previous };

    void Close();
    // Starts the search for the current text; `move` goes to a match once one is known.
    void Restart(Move move);
    // Works on the comment plan for a slice; once it is whole, starts the scan.
    void BuildPlan();
    void Request(Move move);
    void TryMove();
    void Poll();
    // The text in the file's encoding; nothing when a character cannot occur in the file.
    std::optional<std::string> Needle() const;

    const LineStore& m_lines;
    FindHost m_host;
    OutlineSearch m_search;
    // Made on first need and kept until the outline or the switch changes what nodes show.
    std::shared_ptr<const CommentPlan> m_plan;
    std::optional<CommentPlanBuilder> m_builder;
    QTimer* m_planSlices = nullptr;
    QLineEdit* m_text = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_poll = nullptr;
    Move m_pending = Move::None;
    // The move asked for while a load has the lines: made once it gives them back.
    Move m_afterSuspend = Move::None;
    std::optional<LineIndex> m_from; // the selected line when the pending move was asked for
    bool m_searching = false;        // a search for the current text has been asked for
    bool m_scanning = false;         // and its answers count: the scan started, or has no work
    bool m_suspended = false;
};

} // namespace ini
