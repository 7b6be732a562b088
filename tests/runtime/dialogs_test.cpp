// What the program does to Qt's own dialogs: Spanish texts, message boxes
// wide enough for their titles, file dialogs that start where the last file
// was; and the runtime folder a command-line run makes for itself.

#include "runtime/application.h"
#include "runtime/last_folder.h"
#include "runtime/runtime_folder.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(QtTexts, StandardButtonsSpeakSpanish) {
  ASSERT_TRUE(InstallQtTranslations()) << "Qt's translations are not installed (qt6-translations-l10n)";
  EXPECT_TRUE(InstallQtTranslations());  // a second call changes nothing
  QDialogButtonBox buttons(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel |
                           QDialogButtonBox::Save);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text().remove('&'), QString::fromUtf8("Sí"));
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove('&'), "Cancelar");
  EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text().remove('&'), "Guardar");
  // A caption the program gives its own button stays as it is.
  buttons.button(QDialogButtonBox::Yes)->setText("OK");
  EXPECT_EQ(buttons.button(QDialogButtonBox::Yes)->text(), "OK");
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
    // Shown again, the box is no wider than it was: one strut, not one a showing.
    QTimer::singleShot(0, &box, [&] {
      EXPECT_EQ(box.width(), shownWidth);
      box.accept();
    });
    box.exec();
  }
  // The width grows with the title, by the title's own measure.
  EXPECT_GT(MessageBoxWidthForTitle("TALVEX CANALES DE TEMPERATURA"), MessageBoxWidthForTitle("TALVEX CANALES"));
}

// The program's settings in a folder of the test's own.
class DialogFolder : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(config.isValid() && files.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
  }
  QTemporaryDir config, files;
};

TEST_F(DialogFolder, StartsAtHomeThenWhereTheLastFileWasAndOutlivesTheRun) {
  EXPECT_EQ(FileDialogFolder(), QDir::homePath());
  EXPECT_EQ(FileDialogFolder(files.path()), files.path());  // the caller's choice before any file
  ASSERT_TRUE(QDir(files.path()).mkdir("datos"));
  const QString folder = files.filePath("datos");
  RememberFileDialogFolder(folder + "/enero.txt");
  EXPECT_EQ(FileDialogFolder(), folder);
  EXPECT_EQ(FileDialogFolder(QDir::rootPath()), folder);
  // Kept in the settings file, in the configuration folder given.
  EXPECT_EQ(
      QSettings(config.filePath("talvex/talvex.ini"), QSettings::IniFormat).value("dialogs/lastFolder").toString(),
      folder);
  // A folder removed since is passed over.
  ASSERT_TRUE(QDir(folder).removeRecursively());
  EXPECT_EQ(FileDialogFolder(), QDir::homePath());
  EXPECT_EQ(FileDialogFolder(files.path()), files.path());
}

// Restores an environment variable when the test ends.
class TEnvironment {
public:
  explicit TEnvironment(const char *name) : name_(name), had_(qEnvironmentVariableIsSet(name)), was_(qgetenv(name)) {}
  ~TEnvironment() {
    if (had_) qputenv(name_, was_);
    else qunsetenv(name_);
  }

private:
  const char *name_;
  bool had_;
  QByteArray was_;
};

TEST(RuntimeFolder, MadeOnlyWhenNoneIsNamedAndOnlyIfItIsOurs) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  TEnvironment keepRuntime("XDG_RUNTIME_DIR"), keepTmp("TMPDIR");
  qputenv("TMPDIR", QFile::encodeName(tmp.path()));

  qputenv("XDG_RUNTIME_DIR", "/somewhere/named");
  EnsureRuntimeFolder();
  EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), "/somewhere/named");

  qunsetenv("XDG_RUNTIME_DIR");
  EnsureRuntimeFolder();
  const QString made = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
  ASSERT_TRUE(made.startsWith(tmp.path() + "/runtime-")) << made.toStdString();
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(made).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A file in its place (anyone could have put it there) is not taken.
  ASSERT_TRUE(QDir(made).removeRecursively());
  QFile squatter(made);
  ASSERT_TRUE(squatter.open(QIODevice::WriteOnly));
  squatter.close();
  qunsetenv("XDG_RUNTIME_DIR");
  EnsureRuntimeFolder();
  EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"));
}

}  // namespace
