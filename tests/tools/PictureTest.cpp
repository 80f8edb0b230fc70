// The picture of a run (simrun --svg), checked as a reader sees it: rendered by a real SVG
// renderer (rsvg-convert) and read back pixel by pixel, parsed by a real XML parser (expat),
// and the copy the README shows compared with what the demo draws today.
#include <expat.h>
#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "ScenarioTesting.h"
#include "scenario/PictureSink.h"

namespace {

using Record = winsim::TraceSink::Record;

const std::string kDemo = std::string(NORVANE_SOURCE_DIR) + "/scenarios/demo.scn";

// The demo scenario's picture, as simrun draws it.
struct DemoPicture {
  scenario::Scenario demo = scenario::load_scenario(kDemo);
  scenario::PictureSink sink{"demo.scn", demo.end_time()};
  std::string svg;

  DemoPicture() {
    scenario::Runner runner(scenario_test::all_verbs(), scenario::register_programs);
    scenario::RunResult result =
        runner.run(demo, [this](winsim::World &world) { world.trace().attach(sink); });
    svg = sink.svg(result.ended_at, result.stopped.has_value());
  }
};

const DemoPicture &demo() {
  static const DemoPicture picture;
  return picture;
}

// The XML parser's complaint, or "" when the text is well-formed.
std::string xml_error(const std::string &text) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  std::string error;
  if (XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_ERROR)
    error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
            std::to_string(XML_GetCurrentLineNumber(parser));
  XML_ParserFree(parser);
  return error;
}

struct Pixels {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> rgb;

  std::string at(double x, double y) const {
    unsigned col = static_cast<unsigned>(x), row = static_cast<unsigned>(y);
    if (col >= width || row >= height) return "outside";
    const unsigned char *p = &rgb[(row * width + col) * 3];
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", p[0], p[1], p[2]);
    return text;
  }
};

// The SVG rendered by rsvg-convert at one pixel per unit.
Pixels render(const std::string &svg) {
  std::string base = ::testing::TempDir() + "picture_" + std::to_string(getpid());
  std::ofstream(base + ".svg", std::ios::binary) << svg;
  std::string command =
      std::string(RSVG_CONVERT) + " -o '" + base + ".png' '" + base + ".svg' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0)
      << command << " failed (rsvg-convert comes with librsvg2-bin, which ./x installs)";
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Pixels pixels;
  if (png_image_begin_read_from_file(&image, (base + ".png").c_str()) != 0) {
    image.format = PNG_FORMAT_RGB;
    pixels.width = image.width;
    pixels.height = image.height;
    pixels.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.rgb.data(), 0, nullptr) == 0) pixels = {};
  }
  png_image_free(&image);
  std::remove((base + ".svg").c_str());
  std::remove((base + ".png").c_str());
  return pixels;
}

constexpr const char *kLit = "#ffb300";
constexpr const char *kDark = "#37474f";

TEST(Picture, TheRenderedDemoShowsTheLedsAndTheEventLogAtTheirTimes) {
  const scenario::PictureSink &sink = demo().sink;
  Pixels pixels = render(demo().svg);
  ASSERT_GT(pixels.width, 0u);
  auto x = [&](std::uint64_t ms) { return sink.scale().x(ms) + 0.5; };
  auto middle = [&](const char *lane) {
    auto place = sink.place_of(lane);
    EXPECT_TRUE(place) << lane;
    return place ? place->top + place->height / 2 : -1;
  };
  double status = middle("status LED"), raid = middle("RAID LED A"), log = middle("event log");
  // The status LED: lit while the system is in error (137 s to 214 s), dark once the service
  // has stopped (300.5 s); the RAID LEDs dark before the RAID error (135 s).
  EXPECT_EQ(pixels.at(x(170000), status), kLit);
  EXPECT_EQ(pixels.at(x(320000), status), kDark);
  EXPECT_EQ(pixels.at(x(100000), raid), kDark);
  // While the status LED blinks (13.5 s to 138 s) its lane is a band of both colours.
  std::set<std::string> band;
  for (int i = 0; i < 8; ++i) band.insert(pixels.at(x(60000) + i, status));
  EXPECT_EQ(band, (std::set<std::string>{kLit, kDark}));
  // The error "システムステータスを「エラーあり」へ..." at 137 s is a red marker; nothing was
  // logged at 100 s.
  EXPECT_EQ(pixels.at(x(137000), log), "#e53935");
  EXPECT_EQ(pixels.at(x(100000), log), "#ffffff");
  // The cause above the effects: the scenario's line at 2 min that set the RAID bit, and the
  // machine asleep from 4 min to 4.5 min.
  EXPECT_EQ(pixels.at(x(120000), middle("scenario")), "#1e88e5");
  EXPECT_EQ(pixels.at(x(255000), middle("machine")), "#3949ab");
  EXPECT_EQ(pixels.at(x(285000), middle("machine")), "#ffffff");
}

TEST(Picture, TheCopyInDocsIsWhatTheDemoDrawsToday) {
  EXPECT_TRUE(scenario_test::file_text(std::string(NORVANE_SOURCE_DIR) + "/docs/demo.svg") ==
              demo().svg)
      << "docs/demo.svg is stale: run ./x demo, which refreshes it, and commit it";
}

// An installer's run: what it did to files, folders, the suite's service and the registry, and
// how it ended, each in a lane of its own; what failed in the error colour, its code named on
// hover, and a file that was not there to delete in grey. The picture is well-formed XML whatever
// the names and texts hold (the demo's: rsvg-convert reads it).
TEST(Picture, AnInstallersRunShowsItsFilesServiceRegistryAndExitCode) {
  scenario::PictureSink sink("<odd> & \"names\"", 10000);
  auto add = [&sink](std::uint64_t t, std::uint32_t pid, const char *kind, Record fields) {
    sink.take(scenario_test::record(t, pid, pid + 4, kind, std::move(fields)));
  };
  add(0, 8, "process.start",
      {{"image", "D:\\QORASetup.exe"}, {"cmdline", "QORASetup.exe Install"}});
  add(100, 8, "svc.control", {{"service", "QORAService"}, {"control", 1}, {"result", 0}});
  add(100, 12, "svc.status", {{"service", "QORAService"}, {"state", 3}});
  add(2100, 12, "svc.status", {{"service", "QORAService"}, {"state", 1}});
  add(2100, 8, "dir.create", {{"path", "C:\\QORA"}});
  for (const char *file : {"C:\\QORA\\a.dll", "C:\\QORA\\b.exe", "C:\\QORA\\c.sys"})
    add(2100, 8, "file.copy", {{"from", "D:\\x"}, {"to", file}});
  add(2100, 8, "reg.set",
      {{"key", "HKLM\\Run"}, {"name", "qora_init"}, {"type", "REG_SZ"}, {"data", "x"}});
  add(2150, 8, "file.delete", {{"path", "C:\\QORA\\d.chm"}, {"error", 32}});
  add(2160, 8, "file.delete", {{"path", "C:\\QORA\\old.dll"}, {"error", 2}});
  add(2170, 12, "svc.status", {{"service", "QORAService"}, {"state", 1}, {"win32ExitCode", 1066}});
  add(2200, 8, "process.exit", {{"code", 5}});
  // A second run starts too close to the first's end for its label: only the second's is drawn.
  add(2300, 16, "process.start", {{"image", "D:\\QORASetup.exe"}, {"cmdline", "QORASetup.exe"}});
  add(2400, 16, "process.exit", {{"code", 0}});
  add(2500, 20, "event",
      {{"source", "a<b>&c"},
       {"type", 1},
       {"id", 0xC0000001u},
       {"strings", {std::string("bytes \x01\xff\xfe and ]]> <tag>")}}});
  std::string svg = sink.svg(10000);
  for (const char *lane : {"service QORAService", "QORASetup.exe", "folders", "files copied",
                           "registry changes", "service manager"})
    EXPECT_TRUE(sink.place_of(lane)) << lane;
  for (const char *drawn :
       {"fill=\"#e53935\"><title>0:00:02.150  file.delete  path=C:\\QORA\\d.chm  error=32 "
        "(ERROR_SHARING_VIOLATION)</title>",
        "fill=\"#8e8e8e\"><title>0:00:02.160  file.delete  path=C:\\QORA\\old.dll  error=2 "
        "(ERROR_FILE_NOT_FOUND)</title>",
        "fill=\"#e53935\"><title>0:00:02.170 to 0:00:10.000  state 1 (STOPPED), with a nonzero "
        "exit code</title>",
        "fill=\"#e53935\"><title>0:00:00.000  QORASetup.exe Install  (pid 8)\n0:00:02.200  exit "
        "code 5 (the running marker already existed)</title>",
        ">exit code 0</text>"})
    EXPECT_NE(svg.find(drawn), std::string::npos) << drawn;
  EXPECT_EQ(svg.find(">exit code 5</text>"), std::string::npos);
  EXPECT_NE(svg.find("a&lt;b&gt;&amp;c"), std::string::npos);
  EXPECT_EQ(xml_error(svg), "");
}

// A reading the scenario feeds is drawn right above the status it causes, its value in its
// band; the legend explains the colours of the lanes drawn, and only those.
TEST(Picture, AReadingLiesAboveTheStatusItCausesAndTheLegendExplainsTheLanesDrawn) {
  scenario::PictureSink sink("fan", 60000);
  sink.take(scenario_test::record(0, 0, 0, "scenario",
                                  {{"line", 3},
                                   {"text", "board fan 1850"},
                                   {"reading", "CPU fan"},
                                   {"value", 1850},
                                   {"unit", "rpm"}}));
  for (const char *name : {"SystemStatus", "CpuTempStatus", "CpuFanStatus"})
    sink.take(scenario_test::record(
        100, 8, 12, "reg.set",
        {{"key", "K"}, {"name", name}, {"type", "REG_DWORD"}, {"data", 12200u}}));
  auto reading = sink.place_of("CPU fan (rpm)"), status = sink.place_of("CpuFanStatus");
  ASSERT_TRUE(reading && status);
  EXPECT_EQ(reading->top + reading->height + 6, status->top);
  std::string svg = sink.svg(60000);
  EXPECT_NE(svg.find("class=\"small\">1850</text>"), std::string::npos);
  for (const char *row : {">scenario lines, operations</text>", ">readings</text>",
                          ">status values</text>", ">warning</text>"})
    EXPECT_NE(svg.find(row), std::string::npos) << row;
  for (const char *row : {">LEDs</text>", ">services</text>", ">processes</text>"})
    EXPECT_EQ(svg.find(row), std::string::npos) << row;
}

}  // namespace
