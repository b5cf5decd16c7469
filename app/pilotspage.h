// The "Pilots" page: the pilot registry.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QTableView;
class QUrl;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;
class PilotRegistry;
class StageRosters;
class TfrmAerolist;

class PilotsPage : public QWidget
{
    Q_OBJECT
public:
    PilotsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent = nullptr);
    ~PilotsPage() override;

    QTableView *registry() const { return m_registry; }
    PilotRegistry &pilots() { return *m_pilots; }
    // The registry browser, created once and kept hidden until BitBtn1 shows it.
    TfrmAerolist *aerolistBrowser() const { return m_aerolist.get(); }

    // How files are opened with the desktop's default program (tests record
    // the request instead).
    void setUrlOpener(std::function<bool(const QUrl &)> opener) { m_openUrl = std::move(opener); }

    // Handlers.
    void edtsearchtextChange(const QString &text);
    void dbgrd1CellClick();
    void eventAdd2CurStageExecute();
    void pilotshowphotoExecute();
    void BitBtn1Click();
    // Puts a text into the search field, which filters the registry.
    void setSearchText(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showCount();

    ProgramContext &m_ctx;
    ProgramServices &m_services;
    std::unique_ptr<PilotRegistry> m_pilots;
    std::unique_ptr<StageRosters> m_rosters;
    std::unique_ptr<TfrmAerolist> m_aerolist; // uses m_pilots: goes first
    QTableView *m_registry = nullptr;
    QLineEdit *m_search = nullptr;
    QLabel *m_hasPhoto = nullptr;
    QLabel *m_hasSound = nullptr;
    std::function<bool(const QUrl &)> m_openUrl;
};

} // namespace lapvane
