// The "Bracket" page of the Events page: the bracket of the current stage
// drawn as columns of rounds, each heat a box with its group, its pilots (their
// finishing order once flown, who goes on), byes and the heat that runs next.
#pragma once

#include "competition/bracketview.h"

#include <QWidget>

class QGridLayout;
class QLabel;
class QScrollArea;

namespace lapvane {

class BracketPage : public QWidget
{
    Q_OBJECT
public:
    explicit BracketPage(QWidget *parent = nullptr);

    // Draws view; a stage that is no bracket (or none) shows why there is nothing.
    void showBracket(const BracketView &view, const QString &stageName);
    // Shows a bracket that cannot be read.
    void showProblem(const QString &text);

private:
    void clear();

    QLabel *m_title;
    QLabel *m_notes;
    QScrollArea *m_scroll;
    QWidget *m_canvas = nullptr;
};

} // namespace lapvane
