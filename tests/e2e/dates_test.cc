// Backups by the dates in their names, on both builds: the rightmost real
// date decides, names without one stay and are counted, and the four keep
// periods of 400 daily backups against a plain oracle.
#include <time.h>

#include <map>
#include <set>

#include "e2e.h"

namespace olvane_e2e {
namespace {

// The local date Days days before today, as strftime writes it in Format.
std::string LocalDay(int Days, const char* Format = "%Y-%m-%d") {
  const time_t Now = time(nullptr);
  struct tm Day;
  localtime_r(&Now, &Day);
  Day.tm_mday -= Days;
  Day.tm_hour = 12;  // clear of any clock change
  Day.tm_isdst = -1;
  mktime(&Day);
  char Text[32];
  strftime(Text, sizeof Text, Format, &Day);
  return Text;
}

TEST_F(EndToEndTest, FilesAreAgedByTheRightmostRealDateInTheirNames) {
  const std::string Today = LocalDay(0), Arg = "--date-from-name=%Y-%m-%d";
  // Every file was just made: only the names make any of them due.
  const std::string Files = "db-2001-01-01.sql copy-2001-01-01-of-" + Today +
                            " x-2001-01-01-2001-02-30 db-2001-13-01 notes.txt";
  const Output Out = Deleted("~/db-2001-01-01.sql ~/x-2001-01-01-2001-02-30",
                             {"     2 name(s) without a date left alone."});
  Check({{Files, "-d30 ~ " + Arg, Out,
          "copy-2001-01-01-of-" + Today + " db-2001-13-01 notes.txt", "", "", 0,
          true}});
  Make(Files);
  const Lines Json = Run({"-d30", "~", Arg, "--json", "-n"});
  ASSERT_FALSE(Json.empty());
  EXPECT_NE(Json.back().find(",\"undated\":2,"), std::string::npos);
}

// A backup a day for 400 days before today, and a later one on every
// third day; the oracle groups their names by the C library's calendar.
TEST_F(EndToEndTest, TheKeepPeriodsKeepTheNewestOfEachOfTheirLastPeriods) {
  const auto Newest = [](int Day) {
    return "b-" + LocalDay(Day, "%Y-%m-%d_") + (Day % 3 ? "06" : "18");
  };
  const char* Periods[][2] = {{"daily", "%Y-%m-%d"},
                              {"weekly", "%G-W%V"},
                              {"monthly", "%Y-%m"},
                              {"yearly", "%Y"}};
  const int Counts[] = {7, 4, 12, 3};
  std::map<std::string, std::string> Kept;  // name: why
  for (int Rule = 0; Rule < 4; ++Rule) {
    std::map<std::string, std::string> Last;  // period: its newest name
    for (int Day = 1; Day <= 400; ++Day) {
      std::string& Name = Last[LocalDay(Day, Periods[Rule][1])];
      Name = std::max(Name, Newest(Day));
    }
    auto Period = Last.rbegin();
    for (int I = 0; I < Counts[Rule] && Period != Last.rend(); ++I, ++Period)
      Kept.emplace(Period->second, Periods[Rule][0] + (" " + Period->first));
  }
  std::string Files, Gone, Left;
  for (int Day = 1; Day <= 400; ++Day) {
    for (const std::string& Name :
         {Newest(Day), "b-" + LocalDay(Day, "%Y-%m-%d_06")}) {
      if (Files.find(Name) != std::string::npos) continue;
      Files += " " + Name;
      (Kept.count(Name) ? Left : Gone) +=
          (Kept.count(Name) ? " " : " ~/") + Name;
    }
  }
  const std::string Args =
      "-d0 ~ --date-from-name=%Y-%m-%d_%H --keep-daily=7 --keep-weekly=4 "
      "--keep-monthly=12 --keep-yearly=3";
  Check(
      {{Files.substr(1), Args,
        Deleted(Gone.substr(1), {"     0 name(s) without a date left alone."}),
        Left.substr(1), "", "", 0, true}});
  // Why each one stays, as the record tells it; and the same days as
  // backup sets, a folder each, keep the same ones.
  const auto Told = [&](const std::string& Run) {
    std::map<std::string, std::string> Why;
    for (const std::string& Line : this->Run(Words(Run + " --json -n"))) {
      const size_t Name = Line.find("b-"), At = Line.find("\"reason\":\"");
      if (Line.rfind("{\"event\":\"kept\"", 0) == 0 && Name < At)
        Why[Line.substr(Name, Line.find('"', Name) - Name)] =
            Line.substr(At + 10, Line.size() - At - 12);
    }
    return Why;
  };
  Make(Files.substr(1));
  EXPECT_EQ(Told(Args), Kept);
  std::string Sets;
  for (const std::string& Name : Words(Files)) Sets += " s/" + Name + "/f";
  Make(Sets.substr(1));
  EXPECT_EQ(Told("-d0 ~/s/b-* --folders" + Args.substr(5)), Kept);
}

}  // namespace
}  // namespace olvane_e2e
