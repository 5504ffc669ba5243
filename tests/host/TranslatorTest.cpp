#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QLocale>
#include <gtest/gtest.h>

#include "host/BasicServices.h"

using namespace kelto;

TEST(TextTranslator, GivesTheDefaultTextOfATextRef)
{
    host::TextTranslator t;
    EXPECT_EQ(t.Translate(QStringLiteral("TarvoX"), QStringLiteral("20180::Test in progress")), QStringLiteral("Test in progress"));
}

TEST(TextTranslator, PassesATextWithoutIdUnchanged)
{
    host::TextTranslator t;
    EXPECT_EQ(t.Translate(QStringLiteral("TarvoX"), QStringLiteral("Plain: text")), QStringLiteral("Plain: text"));
}

TEST(TextTranslator, FillsPlaceholdersInOrderWithNumbersWrittenLocaleIndependently)
{
    QLocale::setDefault(QLocale(QLocale::German));
    host::TextTranslator t;
    const QString text = t.Translate(QStringLiteral("TarvoX"), QStringLiteral("1::Set %%1 J, then %%2 (%%3) %%4"),
        {Variant(196.4), Variant(std::int32_t(3)), Variant(QStringLiteral("x")), Variant(true)});
    EXPECT_EQ(text, QStringLiteral("Set 196.4 J, then 3 (x) True"));
    QLocale::setDefault(QLocale::c());
}

TEST(TextTranslator, TranslatesTheCaptionsOfAWidgetTree)
{
    QWidget form;
    form.setWindowTitle(QStringLiteral("20100::Settings"));
    auto* label = new QLabel(QStringLiteral("20101::Energy"), &form);
    auto* button = new QPushButton(QStringLiteral("20102::Start"), &form);
    auto* tabs = new QTabWidget(&form);
    tabs->addTab(new QWidget, QStringLiteral("20103::Limits"));
    auto* plain = new QLabel(QStringLiteral("200 J"), &form);
    host::TextTranslator().TranslateForm(QStringLiteral("TarvoX"), &form);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(label->text(), QStringLiteral("Energy"));
    EXPECT_EQ(button->text(), QStringLiteral("Start"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Limits"));
    EXPECT_EQ(plain->text(), QStringLiteral("200 J"));
}
