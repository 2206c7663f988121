#include "Activity/ApprovalDialog.h"

#include "QtTestSupport.h"
#include "TemporaryDirectory.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

namespace orlet {
namespace {

ApprovalPrompt::Request request(const QString& name) {
    return {"Allow \u201c" + name + "\u201d to show activities in the notch?", name + " wants…",
            "Allow", "Don't Allow", std::nullopt};
}

QQuickView* shownDialog() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (auto* view = qobject_cast<QQuickView*>(window); view != nullptr && view->isVisible()) {
            return view;
        }
    }
    return nullptr;
}

// The real dialog on the offscreen platform, answered with the keyboard and the window's close.
TEST(ApprovalDialog, AsksOneApplicationAtATimeAndTakesEachAnswerOnce) {
    ApprovalDialog dialog;
    std::vector<std::pair<QString, bool>> answers;
    dialog.ask(request("Terminal"),
               [&](bool allowed) { answers.emplace_back("Terminal", allowed); });
    dialog.ask(request("Code"), [&](bool allowed) { answers.emplace_back("Code", allowed); });

    QQuickView* view = shownDialog();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    EXPECT_EQ(view->status(), QQuickView::Ready);
    EXPECT_EQ(dialog.message(), "Allow \u201cTerminal\u201d to show activities in the notch?");
    EXPECT_EQ(view->modality(), Qt::ApplicationModal);

    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers.back(), std::make_pair(QString("Terminal"), true));
    EXPECT_EQ(dialog.message(), "Allow \u201cCode\u201d to show activities in the notch?");

    ASSERT_TRUE(QTest::qWaitForWindowActive(shownDialog()));
    QTest::keyClick(shownDialog(), Qt::Key_Escape);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers.back(), std::make_pair(QString("Code"), false));
    EXPECT_EQ(shownDialog(), nullptr) << "nothing left to ask";

    dialog.ask(request("Editor"), [&](bool allowed) { answers.emplace_back("Editor", allowed); });
    shownDialog()->close();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers.back(), std::make_pair(QString("Editor"), false)) << "closing declines";
}

TEST(ApprovalDialog, TakesTheIconOfTheDesktopEntry) {
    test::TemporaryDirectory directory;
    const auto file = directory.path() / "org.gnome.Terminal.desktop";
    std::ofstream(file) << "[Desktop Entry]\nName=Terminal\nIcon=org.gnome.Terminal\n";
    EXPECT_EQ(ApprovalDialog::iconOf(file.string()), "org.gnome.Terminal");
    EXPECT_EQ(ApprovalDialog::iconOf((directory.path() / "missing.desktop").string()),
              std::nullopt);
}

} // namespace
} // namespace orlet
