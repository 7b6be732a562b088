// What the program does to Qt's own dialogs: Spanish texts, message boxes
// wide enough for their titles.

#include "runtime/application.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(QtTexts, StandardButtonsSpeakSpanish) {
  ASSERT_TRUE(InstallQtTranslations()) << "Qt's translations are not installed (qt6-translations-l10n)";
  QDialogButtonBox buttons(QDialogButtonBox::Yes | QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text().remove('&'), QString::fromUtf8("Sí"));
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove('&'), "Cancelar");
}

TEST(MessageBoxes, AreWideEnoughForTheirTitle) {
  InstallMessageBoxSizing();
  for (const char *title : {"TALVEX CANALES", "TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA "}) {
    SCOPED_TRACE(title);
    QMessageBox box(QMessageBox::NoIcon, title, "Zoom", QMessageBox::Ok);
    int shownWidth = 0;
    QTimer::singleShot(0, &box, [&] {
      shownWidth = box.width();
      box.accept();
    });
    box.exec();
    EXPECT_GE(shownWidth, MessageBoxWidthForTitle(title));
  }
}

}  // namespace
