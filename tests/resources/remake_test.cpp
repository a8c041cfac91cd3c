// The generator against the committed pictures: a fresh run must write the
// same files with the same bytes, or someone changed the drawing code and
// forgot to remake the pictures (scripts/make-pictures.sh), or changed the
// pictures by hand.
//
//   resources_remake_test GENERATOR PICTURES-DIRECTORY
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString generator;
QString committedDir;

struct GeneratorRun {
  bool finished = false;
  int exitCode = -1;
  QString errors;
};

GeneratorRun runGenerator(const QStringList& args) {
  QProcess process;
  process.start(generator, args);
  GeneratorRun run;
  // Drawing takes well under a second; a minute means it hangs.
  run.finished = process.waitForStarted(10000) && process.waitForFinished(60000);
  if (!run.finished) {
    process.kill();
    process.waitForFinished(5000);
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.errors = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Remake, AFreshRunWritesTheCommittedFilesByteForByte) {
  QTemporaryDir out;
  ASSERT_TRUE(out.isValid());
  // A directory that is not there yet: the generator makes it.
  const QString target = out.filePath(QStringLiteral("pictures"));
  const GeneratorRun run = runGenerator({target});
  ASSERT_TRUE(run.finished) << "the generator did not finish";
  ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

  const QStringList made = filesIn(target);
  const QStringList committed = filesIn(committedDir);
  ASSERT_FALSE(committed.isEmpty());
  EXPECT_EQ(made, committed) << "made: " << made.join(' ').toStdString()
                             << "\ncommitted: " << committed.join(' ').toStdString();
  for (const QString& name : committed) {
    if (!made.contains(name)) continue;
    const QByteArray fresh = contents(target + '/' + name);
    const QByteArray kept = contents(committedDir + '/' + name);
    EXPECT_FALSE(kept.isEmpty()) << name.toStdString();
    EXPECT_TRUE(fresh == kept) << name.toStdString() << " differs from a fresh run: " << fresh.size() << " bytes made, "
                               << kept.size() << " committed; run scripts/make-pictures.sh";
  }
}

TEST(Remake, FailsLoudlyWhenItCannotWrite) {
  QTemporaryDir out;
  ASSERT_TRUE(out.isValid());
  const QString file = out.filePath(QStringLiteral("a-file"));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  struct Case {
    const char* what;
    QStringList args;
    int exitCode;
  };
  const Case cases[] = {
      {"no directory given", {}, 2},
      {"the directory is a file", {file}, 1},
      {"the directory is under a file", {file + QStringLiteral("/pictures")}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const GeneratorRun run = runGenerator(c.args);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_FALSE(run.errors.isEmpty()) << "it must say what went wrong";
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s GENERATOR PICTURES-DIRECTORY\n", argv[0]);
    return 2;
  }
  generator = QString::fromLocal8Bit(argv[1]);
  committedDir = QString::fromLocal8Bit(argv[2]);
  return RUN_ALL_TESTS();
}
