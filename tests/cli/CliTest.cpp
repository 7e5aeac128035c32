#include "MediaFiles.h"
#include "QwenModelWriter.h"
#include "SpeechModels.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// The command-line tool, run as a user would, against a private HOME.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MediaFiles::generate(audio, MediaFiles::sine(16000, 3))); }

    CliRun cli(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(MURMEX_CLI_PATH), arguments);
        if (!process.waitForFinished(120000)) {
            ADD_FAILURE() << "murmex-cli did not finish: " << arguments.join(' ').toStdString();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    CliRun transcribe(const QStringList& extra) {
        return cli(QStringList{QStringLiteral("transcribe"), audio, QStringLiteral("--model"),
                               SpeechModels::tinyModelPath(), QStringLiteral("--language"),
                               QStringLiteral("en")} +
                   extra);
    }

    ScopedTestHome home;
    QString audio = home.path(QStringLiteral("Interview: part 1.wav"));
};

TEST_F(CliTest, TranscribesAFileInEachFormat) {
    const CliRun srt = transcribe({QStringLiteral("--format"), QStringLiteral("srt")});
    ASSERT_EQ(srt.status, 0) << srt.err.toStdString();
    EXPECT_TRUE(srt.out.startsWith(QStringLiteral("1\n00:00:00,000 --> ")))
        << srt.out.toStdString();

    const CliRun json = transcribe({QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray segments = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_FALSE(segments.isEmpty());
    EXPECT_EQ(segments.first().toObject().keys(),
              (QStringList{QStringLiteral("endMs"), QStringLiteral("index"),
                           QStringLiteral("startMs"), QStringLiteral("text")}));

    const CliRun timestamps =
        transcribe({QStringLiteral("--format"), QStringLiteral("timestamps")});
    EXPECT_TRUE(timestamps.out.startsWith(QStringLiteral("[00:00] ")));
    const CliRun text = transcribe({});
    EXPECT_FALSE(text.out.trimmed().isEmpty());
    EXPECT_FALSE(text.out.contains(QLatin1Char('[')));
}

TEST_F(CliTest, ErrorsUseTheApplicationsMessagesAndExitNonZero) {
    const CliRun noModel = cli({QStringLiteral("transcribe"), audio});
    EXPECT_EQ(noModel.status, 1);
    EXPECT_TRUE(noModel.err.contains(QStringLiteral(
        "The transcription model isn't downloaded yet. Finish setup in Settings first.")));

    const QString notMedia = home.path(QStringLiteral("notes.mp3"));
    writeFile(notMedia, "these are my notes, not audio");
    const CliRun unsupported = cli({QStringLiteral("transcribe"), notMedia,
                                    QStringLiteral("--model"), SpeechModels::tinyModelPath()});
    EXPECT_EQ(unsupported.status, 1);
    EXPECT_TRUE(unsupported.err.contains(QStringLiteral("This media format isn't supported.")));
    EXPECT_TRUE(unsupported.out.isEmpty());

    EXPECT_EQ(cli({QStringLiteral("transcribe")}).status, 2);
    EXPECT_EQ(transcribe({QStringLiteral("--format"), QStringLiteral("docx")}).status, 2);
    EXPECT_EQ(cli({QStringLiteral("dance")}).status, 2);
    EXPECT_EQ(
        cli({QStringLiteral("history"), QStringLiteral("export"), QStringLiteral("x")}).status, 2);
}

TEST_F(CliTest, SavedTranscriptsCanBeListedSearchedAndExported) {
    const CliRun saved = transcribe({QStringLiteral("--save")});
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_TRUE(saved.err.contains(QStringLiteral("Saved to history.")));

    const CliRun list = cli({QStringLiteral("history"), QStringLiteral("list")});
    ASSERT_EQ(list.status, 0);
    const QStringList columns = list.out.trimmed().split(QLatin1Char('\t'));
    ASSERT_GE(columns.size(), 6) << list.out.toStdString();
    EXPECT_EQ(columns[2], QStringLiteral("mediaFile"));
    EXPECT_EQ(columns[4], QStringLiteral("Interview: part 1.wav"));
    const QString id = columns[0];

    const CliRun found =
        cli({QStringLiteral("history"), QStringLiteral("search"), QStringLiteral("INTERVIEW")});
    EXPECT_EQ(found.status, 0);
    EXPECT_TRUE(found.out.startsWith(id + QLatin1Char('\t')));
    const CliRun missing =
        cli({QStringLiteral("history"), QStringLiteral("search"), QStringLiteral("zebra")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("No transcriptions match \"zebra\".")));

    const CliRun srt = cli({QStringLiteral("history"), QStringLiteral("export"), id,
                            QStringLiteral("--format"), QStringLiteral("srt")});
    EXPECT_EQ(srt.status, 0);
    EXPECT_TRUE(srt.out.startsWith(QStringLiteral("1\n00:00:00,000 --> ")));
    const CliRun text = cli({QStringLiteral("history"), QStringLiteral("export"), id,
                             QStringLiteral("--format"), QStringLiteral("txt")});
    EXPECT_EQ(text.out.trimmed(), columns[5].trimmed());

    const CliRun unknown =
        cli({QStringLiteral("history"), QStringLiteral("export"), QStringLiteral("999"),
             QStringLiteral("--format"), QStringLiteral("txt")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("999")));
}

// clean and translate, run against a tiny random-weight language model: its
// output is gibberish, so these check exit statuses, the fallback to the
// exact input and the services' messages.
class CliLanguageModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        modelDirectory = std::make_unique<QTemporaryDir>();
        modelPath = modelDirectory->filePath(QStringLiteral("tiny-qwen3.gguf"));
        QString error;
        ASSERT_TRUE(writeQwenModel(modelPath, QStringLiteral(MURMEX_QWEN_VOCAB),
                                   QwenModelDims::tiny(), {}, &error))
            << error.toStdString();
    }
    static void TearDownTestSuite() { modelDirectory.reset(); }

    CliRun cli(const QStringList& arguments, const QByteArray& input = {}) {
        QProcess process;
        process.start(QStringLiteral(MURMEX_CLI_PATH), arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000)) {
            ADD_FAILURE() << "murmex-cli did not finish: " << arguments.join(' ').toStdString();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    static inline std::unique_ptr<QTemporaryDir> modelDirectory;
    static inline QString modelPath;
    ScopedTestHome home;
};

TEST_F(CliLanguageModelTest, CleanWithoutTheModelReportsItAndExitsNonZero) {
    const CliRun run = cli({QStringLiteral("clean"), QStringLiteral("can you tell me the time")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains(QStringLiteral("Cleanup model not downloaded.")))
        << run.err.toStdString();
}

TEST_F(CliLanguageModelTest, CleanOfFewerThanFourWordsNeedsNoModel) {
    const CliRun run = cli({QStringLiteral("clean"), QStringLiteral("hello there")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("hello there\n"));
}

TEST_F(CliLanguageModelTest, CleanRejectsTheModelsAnswerAndPrintsTheExactInput) {
    // A question: the judge (this gibberish model) never says CLEAN, so
    // both attempts are rejected and the input comes back untouched.
    const QString text = QStringLiteral("can you tell me what time it is");
    const CliRun run = cli({QStringLiteral("clean"), text, QStringLiteral("--model"), modelPath});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, text + QLatin1Char('\n'));
}

TEST_F(CliLanguageModelTest, CleanReadsStandardInput) {
    const CliRun run =
        cli({QStringLiteral("clean"), QStringLiteral("-"), QStringLiteral("--model"), modelPath},
            QByteArrayLiteral("what should we cook for dinner tonight\n"));
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("what should we cook for dinner tonight\n"));
}

TEST_F(CliLanguageModelTest, CleanWithAFileThatIsNotAModelShowsTheLoadError) {
    const QString notModel = home.path(QStringLiteral("notes.gguf"));
    writeFile(notModel, QByteArray(2048, 'x'));
    const CliRun run = cli({QStringLiteral("clean"), QStringLiteral("one two three four five"),
                            QStringLiteral("--model"), notModel});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Could not load the cleanup model at ") + notModel +
                                 QStringLiteral(".")))
        << run.err.toStdString();
}

TEST_F(CliLanguageModelTest, TranslateErrorsUseTheServicesMessages) {
    const CliRun missing = cli({QStringLiteral("translate"), QStringLiteral("hallo welt"),
                                QStringLiteral("--to"), QStringLiteral("en")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral(
        "The on-device LLM isn't downloaded. Enable Transcript Cleanup in Audio & Transcription "
        "to download it.")))
        << missing.err.toStdString();

    const CliRun noTarget = cli({QStringLiteral("translate"), QStringLiteral("hallo welt")});
    EXPECT_EQ(noTarget.status, 2);

    // Gibberish is never accepted as a translation of a question.
    const CliRun rejected =
        cli({QStringLiteral("translate"), QStringLiteral("wie spät ist es?"),
             QStringLiteral("--to"), QStringLiteral("en"), QStringLiteral("--from"),
             QStringLiteral("de"), QStringLiteral("--model"), modelPath});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_TRUE(rejected.err.contains(
        QStringLiteral("Translation may have altered the meaning and was discarded.")))
        << rejected.err.toStdString();
    EXPECT_TRUE(rejected.out.isEmpty());
}

} // namespace
