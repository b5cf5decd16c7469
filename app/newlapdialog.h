// The lap entry dialog ("Adding new lap..."): a duration typed as
// MMM:SS.MSS, accepted only when complete.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace lapvane {

class Tfrmnewlap : public QDialog
{
    Q_OBJECT
public:
    explicit Tfrmnewlap(QWidget *parent = nullptr);

    // Shows the dialog empty; the typed text on "ADD", empty on "Cancel".
    QString askLapTime();
    QString text() const;

private:
    QLineEdit *m_edit;
    QPushButton *m_add;
};

} // namespace lapvane
