#pragma once

#include "model/Deployment.h"

#include <QColor>
#include <QDateTime>
#include <QUrl>
#include <QWidget>

#include <optional>
#include <tuple>

class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace brenvo {

class KitDetailHeader;
class KitLine;
class KitScrollArea;
class KitTextButton;
class Scheduler;

// The page of one opened row of a deployment or check tool: a header with the row's state, a
// middle (loading, the checks, or a short status) and an action row with a link to the tool's
// page and a redeploy button that must be pressed twice within 4 seconds.
//
// It is updated in place while the same row stays open, so an armed button and the scroll
// position of the checks survive a refresh.
class DeploymentDetailView : public QWidget {
    Q_OBJECT
public:
    static constexpr int confirmationSeconds = 4;

    enum class Middle { loading, checks, status };

    DeploymentDetailView(DeploymentInspection inspection, Scheduler& clock, QWidget* parent = nullptr);

    const DeploymentInspection& inspection() const { return m_inspection; }
    void setInspection(DeploymentInspection inspection);

    bool isAskingToRedeploy() const { return m_isAskingToRedeploy; }
    // The first press: arms the button.
    void askToRedeploy();
    // The confirming press: disarms, then asks for the redeploy.
    void confirmRedeploy();

    Middle middle() const { return m_middle; }

    // Texts and rules of the page.
    static QString title(const Deployment& deployment);
    static QString detail(const Deployment& deployment, const QDateTime& now);
    static QColor stateColour(Deployment::State state);
    // Whether the row may be redeployed: as its details say; without details only a Vercel row.
    static bool canRedeploy(const DeploymentInspection& inspection);
    // Whether the two-step button shows at all (not while building, not when it cannot).
    static bool offersRedeploy(const DeploymentInspection& inspection);
    // "https://" and the first domain, when that makes a web address.
    static std::optional<QUrl> liveURL(const DeploymentDetails& details);
    // "Built in 42 seconds by robin", either part alone, or nothing.
    static std::optional<QString> buildLine(const DeploymentDetails& details);
    // The plain sentence of the status section, when it is a sentence (not the ready notes or
    // the failure box).
    static std::optional<QString> statusSentence(const DeploymentInspection& inspection);

    KitDetailHeader* header() const { return m_header; }
    // The two-step button, when shown.
    QPushButton* redeployButton() const { return m_redeployButton; }
    KitTextButton* openButton() const { return m_openButton; }
    KitLine* redeployNote() const { return m_redeployNote; }
    QWidget* failureMessage() const { return m_failureMessage; }
    QWidget* middleWidget() const { return m_middleWidget; }
    KitScrollArea* checksArea() const { return m_checksArea; }

Q_SIGNALS:
    void goBack();
    void redeploy();

private:
    void setAsking(bool asking);
    void syncHeader();
    void syncMiddle();
    void syncActions();
    void syncRedeployControl();
    QWidget* buildChecksContent();
    QWidget* buildStatus();

    DeploymentInspection m_inspection;
    Scheduler& m_clock;
    bool m_isAskingToRedeploy = false;
    quint64 m_lapseGeneration = 0;

    QVBoxLayout* m_layout;
    KitDetailHeader* m_header;
    Middle m_middle = Middle::loading;
    QWidget* m_middleWidget = nullptr;
    KitScrollArea* m_checksArea = nullptr;
    // What the middle was last built from.
    struct MiddleInputs {
        bool isLoading;
        std::optional<DeploymentDetails> details;
        Deployment::State state;
        std::optional<QString> stateNote;
        bool operator==(const MiddleInputs&) const = default;
    };
    std::optional<MiddleInputs> m_middleInputs;

    QWidget* m_actions;
    QWidget* m_failureMessage;
    KitTextButton* m_openButton;
    QVBoxLayout* m_actionsLayout;
    QHBoxLayout* m_actionRow;
    QPushButton* m_redeployButton = nullptr;
    KitLine* m_redeployNote = nullptr;
    // What the redeploy control was last built from: its kind, armed flag and whether offered.
    std::optional<std::tuple<int, bool, bool>> m_controlInputs;
};

} // namespace brenvo
