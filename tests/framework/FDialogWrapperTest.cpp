#include <QCoreApplication>
#include <QFocusEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include "framework/FDialogWrapper.h"
#include "platform/ClassTable.h"
#include "platform/ComponentRuntime.h"

using namespace kelto;

namespace {

// A panel as the test library's panels are built: the object owns its widget
// until a window takes it over.
class TestPanel : public ICustomControl {
public:
    TestPanel() : m_widget(new QWidget) { m_widget->resize(200, 100); }
    ~TestPanel() override { delete m_widget.data(); }

    Ptr<ICallBack> CallBack() override { return m_callBack; }
    void SetCallBack(const Ptr<ICallBack>& callBack) override { m_callBack = callBack; }
    WindowHandle hWnd() override { return m_widget; }
    bool Visible() override { return m_widget && m_widget->isVisible(); }
    void SetVisible(bool visible) override { m_widget->setVisible(visible); }
    bool Locked() override { return m_locked; }
    void SetLocked(bool locked) override { m_locked = locked; }
    void Initialize(const Variant& inData) override { initData.push_back(inData); }
    void Refresh() override { ++refreshes; }
    void SetFocus() override { ++focusCalls; }

    QPointer<QWidget> m_widget;
    Ptr<ICallBack> m_callBack;
    bool m_locked = false;
    QList<Variant> initData;
    int refreshes = 0;
    int focusCalls = 0;
};

class NotAPanel : public IObject {};

class RecordingCallBack : public ICallBack {
public:
    void FireEvent(const QString&, const VariantArray&) override {}
};

const char* const kPanel = "KeltoTarvoXTest.XWrapperTestPanel";

void registerTestClasses()
{
    static const ClassEntry entries[] = {
        {kPanel, nullptr, &createInstance<TestPanel>},
        {"KeltoTarvoXTest.XWrapperTestNotAPanel", nullptr, &createInstance<NotAPanel>},
    };
    static bool done = false;
    if (!done)
        ComponentRuntime::instance().registerBuiltin({entries, static_cast<int>(std::size(entries))});
    done = true;
}

class FDialogWrapperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerTestClasses();
        host.resize(800, 600);
        host.show();
    }

    Ptr<TestPanel> addPanel(FDialogWrapper& wrapper)
    {
        return std::dynamic_pointer_cast<TestPanel>(wrapper.CreateSetupCtrl(QString::fromLatin1(kPanel)));
    }

    static int px(float twips, int dpi) { return qRound(twips * dpi / 1440.0); }

    QWidget host; // the host's window that a panel is docked into
};

} // namespace

TEST_F(FDialogWrapperTest, EmptyProgIdAddsNothing)
{
    auto wrapper = std::make_shared<FDialogWrapper>();
    EXPECT_EQ(wrapper->CreateSetupCtrl(QString()), nullptr);
    wrapper->Initialize(Variant(std::int32_t(1))); // no panel: nothing happens
    EXPECT_EQ(wrapper->CallBack(), nullptr);
    EXPECT_FALSE(wrapper->Locked());
    EXPECT_TRUE(wrapper->window()->findChildren<QWidget*>().isEmpty());
}

TEST_F(FDialogWrapperTest, UnknownProgIdOrNonPanelGivesNothingAndRaisesNothing)
{
    FDialogWrapper wrapper;
    EXPECT_EQ(wrapper.CreateSetupCtrl(QStringLiteral("KeltoTarvoXTest.NoSuchPanel")), nullptr);
    EXPECT_EQ(wrapper.CreateSetupCtrl(QStringLiteral("KeltoTarvoXTest.XWrapperTestNotAPanel")), nullptr);
    // The name "isc" is now taken, so no panel can follow.
    EXPECT_EQ(wrapper.CreateSetupCtrl(QString::fromLatin1(kPanel)), nullptr);
    wrapper.Dock(&host); // a wrapper without panel still docks, moving nothing
    EXPECT_TRUE(wrapper.IsDocked());
    wrapper.Show();
    wrapper.Unload();
}

TEST_F(FDialogWrapperTest, PanelIsAHiddenChildOfTheWrapperWindowNamedIsc)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->m_widget->parentWidget(), wrapper.window());
    EXPECT_EQ(panel->m_widget->objectName(), QStringLiteral("isc"));
    EXPECT_TRUE(panel->m_widget->isHidden());
    EXPECT_FALSE(wrapper.window()->isVisible());
    EXPECT_EQ(wrapper.CreateSetupCtrl(QString()), panel); // an empty name gives the current panel

    // A second panel cannot take the name.
    EXPECT_EQ(wrapper.CreateSetupCtrl(QString::fromLatin1(kPanel)), nullptr);
    EXPECT_EQ(wrapper.window()->findChildren<QWidget*>(QStringLiteral("isc")).size(), 1);
}

TEST_F(FDialogWrapperTest, MembersReachThePanel)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    ASSERT_NE(panel, nullptr);
    auto callBack = std::make_shared<RecordingCallBack>();
    wrapper.SetCallBack(callBack);
    EXPECT_EQ(wrapper.CallBack(), callBack);
    wrapper.SetLocked(true);
    EXPECT_TRUE(wrapper.Locked());
    wrapper.Initialize(Variant(QStringLiteral("data")));
    ASSERT_EQ(panel->initData.size(), 1);
    EXPECT_EQ(panel->initData[0], Variant(QStringLiteral("data")));
    wrapper.Refresh();
    wrapper.SetFocus();
    EXPECT_EQ(panel->refreshes, 1);
    EXPECT_EQ(panel->focusCalls, 1);

    // Focus arriving at the wrapper window goes on to the panel.
    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(wrapper.window(), &focusIn);
    EXPECT_EQ(panel->focusCalls, 2);
}

TEST_F(FDialogWrapperTest, DockWithNoWindowChangesNothing)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    wrapper.Dock(nullptr);
    EXPECT_FALSE(wrapper.IsDocked());
    EXPECT_EQ(panel->m_widget->parentWidget(), wrapper.window());
}

TEST_F(FDialogWrapperTest, BeforeDockingShowDoesNothingAndHideMoveActOnTheWrapperWindow)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    wrapper.Show();
    EXPECT_TRUE(panel->m_widget->isHidden());
    EXPECT_FALSE(wrapper.window()->isVisible());

    QWidget* window = wrapper.window();
    wrapper.Move(1440, 720, 2880, 1440);
    EXPECT_EQ(window->geometry(), QRect(px(1440, window->logicalDpiX()), px(720, window->logicalDpiY()),
                                       px(2880, window->logicalDpiX()), px(1440, window->logicalDpiY())));
    EXPECT_EQ(panel->m_widget->pos(), QPoint(0, 0));
    wrapper.Hide();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FDialogWrapperTest, DockedPanelShowsHidesAndMovesInsideTheHostWindow)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    wrapper.Dock(&host);
    EXPECT_TRUE(wrapper.IsDocked());
    EXPECT_EQ(panel->m_widget->parentWidget(), &host);
    EXPECT_FALSE(panel->m_widget->isVisible()); // docking alone shows nothing

    wrapper.Show();
    EXPECT_TRUE(panel->m_widget->isVisible());

    QWidget* w = panel->m_widget;
    wrapper.Move(150, 300, 4320, 2160);
    EXPECT_EQ(w->geometry(), QRect(px(150, w->logicalDpiX()), px(300, w->logicalDpiY()), px(4320, w->logicalDpiX()),
                                  px(2160, w->logicalDpiY())));
    EXPECT_EQ(wrapper.window()->pos(), QPoint(0, 0));

    wrapper.Hide();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->parentWidget(), &host);

    // Zero and negative sizes are taken without harm.
    wrapper.Move(-100, 0, 0, -500);
    EXPECT_EQ(w->size(), QSize(0, 0));
}

TEST_F(FDialogWrapperTest, DockingKeepsTheVisibleState)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    wrapper.Dock(&host);
    wrapper.Show();
    QWidget other;
    other.show();
    wrapper.Dock(&other);
    EXPECT_EQ(panel->m_widget->parentWidget(), &other);
    EXPECT_TRUE(panel->m_widget->isVisible());
}

TEST_F(FDialogWrapperTest, UnDockBringsThePanelBackButStaysDocked)
{
    FDialogWrapper wrapper;
    auto panel = addPanel(wrapper);
    wrapper.Dock(&host);
    wrapper.UnDock();
    EXPECT_EQ(panel->m_widget->parentWidget(), wrapper.window());
    EXPECT_TRUE(wrapper.IsDocked());
}

TEST_F(FDialogWrapperTest, UnloadWhileDockedTakesThePanelOutOfTheHostWindowFirst)
{
    auto wrapper = std::make_shared<FDialogWrapper>();
    auto panel = addPanel(*wrapper);
    QPointer<QWidget> widget = panel->m_widget;
    QPointer<QWidget> window = wrapper->window();
    wrapper->Dock(&host);
    wrapper->Show();
    wrapper->Unload();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(widget.isNull()); // destroyed with the wrapper window, not left in the host's
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
    // Nothing further is expected of an unloaded dialog, but it must not crash.
    wrapper->Show();
    wrapper->Move(0, 0, 10, 10);
    wrapper.reset();
}

TEST_F(FDialogWrapperTest, ReleasingADockedWrapperLeavesNothingInTheHostWindow)
{
    auto wrapper = std::make_shared<FDialogWrapper>();
    auto panel = addPanel(*wrapper);
    wrapper->Dock(&host);
    wrapper->Show();
    panel.reset();
    wrapper.reset();
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
}
