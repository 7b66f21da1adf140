#include "Support/DeskHealthSamples.h"
#include "Support/OffscreenApplication.h"
#include "Support/Pictures.h"
#include "Support/PrivateBus.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Interface/DeskHealthView.h"
#include "Vigilor/Interface/WellnessWrapCard.h"
#include "Vigilor/Design/ZorviTheme.h"

#include <QClipboard>
#include <QMenu>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const std::string artifacts = std::string(VIGILOR_TEST_ARTIFACTS) + "/dashboard";

struct stat statOf(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info;
}
unsigned modeOf(const std::filesystem::path& path) {
    return statOf(path).st_mode & 07777;
}

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(WrapCardModel, TheBandComesFromTheAverageShownAndTheBarsFromTheLastWeek) {
    const struct {
        const char* name;
        DeskHealthSummary summary;
        int64_t average;
        std::string band;
        QColor colour;
    } rows[] = {
        {"45 on a strong day is building", DeskHealthSamples::week(85, 1), 45, "Building", Theme::warning()},
        {"50", DeskHealthSamples::week(20, 0), 50, "On track", Theme::notice()},
        {"79", DeskHealthSamples::week(90, 0), 79, "On track", Theme::notice()},
        {"80", DeskHealthSamples::week(30, 0), 80, "Strong", Theme::success()},
    };
    for (auto r : rows) {
        r.summary.last7Average = r.average;
        const WrapCardModel m = wrapCardModel(r.summary);
        EXPECT_EQ(m.average, r.average) << r.name;
        EXPECT_EQ(m.bandWord, r.band) << r.name;
        EXPECT_EQ(m.bandColour, r.colour) << r.name;
    }

    const struct {
        const char* name;
        int days;
        size_t bars;
        int64_t walks;
        int64_t eyeRests;
    } weeks[] = {{"a month", 30, 7, 14, 20}, {"three days", 3, 3, 6, 9}, {"no history", 0, 0, 0, 0}};
    for (const auto& w : weeks) {
        DeskHealthSummary s = DeskHealthSamples::week(60, 4);
        s.history = DeskHealthSamples::history(60, w.days);
        const WrapCardModel m = wrapCardModel(s);
        ASSERT_EQ(m.bars.size(), w.bars) << w.name;
        EXPECT_EQ(m.weekWalks, w.walks) << w.name;
        EXPECT_EQ(m.weekEyeRests, w.eyeRests) << w.name;
        EXPECT_EQ(m.streak, 4) << w.name;
        if (!m.bars.empty()) {
            EXPECT_EQ(m.bars.front().day, s.history[s.history.size() - w.bars].day)
                << w.name << ": oldest left";
            EXPECT_EQ(m.bars.back().day, s.history.back().day) << w.name << ": today right";
        }
    }

    DeskHealthSummary heights;
    heights.history = {DeskHealthSamples::day(1, 0), DeskHealthSamples::day(2, 5),
                       DeskHealthSamples::day(3, 50), DeskHealthSamples::day(4, 100),
                       DeskHealthSamples::day(5, 70, false)};
    std::vector<double> drawn;
    for (const WrapCardBar& bar : wrapCardModel(heights).bars)
        drawn.push_back(bar.height);
    EXPECT_EQ(drawn, (std::vector<double>{10, 10, 45, 90, 6}));
}

struct WrapCardFiles : ::testing::Test {
    TemporaryHome home;
    OffscreenApplication app;
    std::filesystem::path runtime = home.path() / "runtime";
};

TEST_F(WrapCardFiles, TheCardIs1080By1350PixelsAndASecondShareReplacesTheFirst) {
    DeskHealthSummary strongToday = DeskHealthSamples::week(85, 3);
    strongToday.last7Average = 45;
    const QImage first = WellnessWrapCard::render(strongToday);
    EXPECT_EQ(first.size(), QSize(1080, 1350));
    EXPECT_EQ(first.devicePixelRatio(), 2);
    Pictures::save(first, artifacts, "share-card-average-45");
    // The newest bar, at the right, in the colour of the average shown (45: building), never in the
    // colour of today's 85.
    const QColor paper = first.pixelColor(2 * 270, 2 * 240);
    const QRectF newestBar(2 * 468, 2 * 200, 8, 2 * 200);
    EXPECT_GT(Pictures::pixelsNear(first, newestBar, Pictures::over(Theme::warning(), 0.85, paper), 16), 100);
    EXPECT_EQ(Pictures::pixelsNear(first, newestBar, Pictures::over(Theme::success(), 0.85, paper), 16), 0);

    EXPECT_EQ(WellnessWrapCard::folder(), runtime / "zorvi");
    const auto path = WellnessWrapCard::write(first);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, runtime / "zorvi" / "Zorvi-Desk-Health.png");
    EXPECT_EQ(modeOf(path->parent_path()), 0700u);
    EXPECT_EQ(modeOf(*path), 0600u);
    EXPECT_EQ(QImage(QString::fromStdString(path->string())).size(), QSize(1080, 1350));
    const ino_t firstFile = statOf(*path).st_ino;

    DeskHealthSummary quiet = DeskHealthSamples::week(10, 0);
    quiet.last7Average = 12;
    const QImage second = WellnessWrapCard::render(quiet);
    Pictures::save(second, artifacts, "share-card-average-12");
    ASSERT_EQ(WellnessWrapCard::write(second), path);
    EXPECT_EQ(QImage(QString::fromStdString(path->string())).convertToFormat(second.format()), second)
        << "the second card replaced the first";
    EXPECT_EQ(namesIn(path->parent_path()), std::vector<std::string>{"Zorvi-Desk-Health.png"})
        << "no temporary file left behind";
    EXPECT_NE(statOf(*path).st_ino, firstFile) << "replaced by a rename, never rewritten in place";
}

TEST_F(WrapCardFiles, TheFolderIsTheUsersOwnWhereverItIs) {
    ScopedVariable noCache("XDG_CACHE_HOME", nullptr);
    {
        ScopedVariable noRuntime("XDG_RUNTIME_DIR", (home.path() / "missing").c_str());
        EXPECT_EQ(WellnessWrapCard::folder(), home.path() / ".cache" / "zorvi")
            << "no runtime folder: the cache";
    }
    std::filesystem::create_directories(runtime / "zorvi");
    std::filesystem::permissions(runtime / "zorvi", std::filesystem::perms(0755));
    ASSERT_TRUE(WellnessWrapCard::write(WellnessWrapCard::render(DeskHealthSamples::week(60, 1))));
    EXPECT_EQ(modeOf(runtime / "zorvi"), 0700u) << "an open folder of the user's is closed again";

    std::filesystem::remove_all(runtime / "zorvi");
    std::filesystem::create_directory_symlink(home.path(), runtime / "zorvi");
    EXPECT_FALSE(WellnessWrapCard::write(WellnessWrapCard::render(DeskHealthSamples::week(60, 1))))
        << "a link in its place is not followed";
    EXPECT_FALSE(std::filesystem::exists(home.path() / "Zorvi-Desk-Health.png"));
}

TEST_F(WrapCardFiles, TheShareStepCopiesOpensOrShowsTheCard) {
    QWidget window;
    window.resize(300, 200);
    window.show();
    const QImage card = WellnessWrapCard::render(DeskHealthSamples::week(60, 1));
    const auto path = WellnessWrapCard::write(card);
    ASSERT_TRUE(path);
    QMenu* menu = WellnessWrapCard::offer(*path, card, window);
    QStringList titles;
    for (QAction* action : menu->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"Copy Image", "Open", "Show in Folder"}));
    menu->actions().front()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(1080, 1350));
    menu->close();
}

TEST_F(WrapCardFiles, ShowInFolderAsksTheFileManagerAndOpensTheFolderWhenNoneAnswers) {
    if (const auto missing = PrivateBus::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    PrivateBus bus;
    ASSERT_TRUE(bus.start()) << bus.failure();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    const QString object = QStringLiteral("/org/freedesktop/FileManager1");
    const std::filesystem::path file = runtime / "zorvi" / "Zorvi-Desk-Health.png";
    std::vector<QUrl> opened;
    const auto open = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };

    WellnessWrapCard::showInFolder(file, bus.connection(), open);
    ASSERT_TRUE(processEventsUntil([&] { return !opened.empty(); })) << "no file manager on the bus";
    EXPECT_EQ(opened.front(), QUrl::fromLocalFile(QString::fromStdString((runtime / "zorvi").string())));

    ASSERT_TRUE(bus.startMock({service.toStdString(), object.toStdString(), service.toStdString()}, service))
        << bus.failure();
    bus.callMock(service, object, QStringLiteral("AddMethod"), {service, "ShowItems", "ass", "", ""});
    opened.clear();
    WellnessWrapCard::showInFolder(file, bus.connection(), open);
    ASSERT_TRUE(processEventsUntil([&] { return !bus.mockCalls(service, object).empty(); }));
    const auto calls = bus.mockCalls(service, object);
    EXPECT_EQ(calls.front().first, "ShowItems");
    EXPECT_EQ(calls.front().second.value(0).toStringList(),
              QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()});
    app.processPending();
    EXPECT_TRUE(opened.empty()) << "the file manager answered";
}

} // namespace
