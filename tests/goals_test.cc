// The values of the retention goals, and the two choices they make: the
// newest of a folder that --keep keeps, and the oldest due files a ranked
// run remembers, each against a plain sort.
#include "purge/goals.h"

#include <random>
#include <tuple>

#include "app/command_line.h"
#include "fixture.h"

namespace olvane {
namespace {

TEST(GoalsTest, GoalValuesAreReadOrRefusedBeforeAnyWalk) {
  using K = EventKind;
  const struct {
    const char* Args;
    Goals Read;
    EventKind Refused = K::kUsage;  // kUsage: not refused
  } Rows[] = {
      {"--keep=7", {.Keep = 7}},
      {"--keep=3 --keep=3", {.Keep = 3}},
      {"--max-size=500M", {.MaxSize = 500LL << 20}},
      {"--max-size=20g", {.MaxSize = 20LL << 30}},
      {"--max-size=1K --max-size=1024", {.MaxSize = 1024}},
      {"--min-free=15%", {.MinFreePercent = 15}},
      {"--min-free=2G", {.MinFreeBytes = 2LL << 30}},
      {"--max-files=5000", {.MaxFiles = 5000}},
      {"--keep=0", {}, K::kInvalidKeep},
      {"--keep=-1", {}, K::kInvalidKeep},
      {"--keep=x", {}, K::kInvalidKeep},
      {"--keep", {}, K::kInvalidKeep},
      {"--keep=3 --keep=4", {}, K::kConflictingGoal},
      {"--max-size=", {}, K::kInvalidMaxSize},
      {"--max-size=10Q", {}, K::kInvalidMaxSize},
      {"--max-size=1.5G", {}, K::kInvalidMaxSize},
      {"--max-size=8388608T", {}, K::kInvalidMaxSize},
      {"--max-size=99999999999999999999", {}, K::kInvalidMaxSize},
      {"--min-free=101%", {}, K::kInvalidMinFree},
      {"--min-free=-5%", {}, K::kInvalidMinFree},
      {"--min-free=5% --min-free=5G", {}, K::kConflictingGoal},
      {"--max-files=5x", {}, K::kInvalidMaxFiles},
  };
  FakePlatform Sys;
  Sys.Cwd = "/work";
  for (const auto& Row : Rows) {
    SCOPED_TRACE(Row.Args);
    Lines Args = Words(std::string("-d1 ") + Row.Args);
    const CommandLine Line = ReadCommandLine(Sys, Args);
    const Goals& Goal = Line.Settings.Goal;
    if (Row.Refused != K::kUsage) {
      EXPECT_EQ(Line.What, CommandLine::Action::kRefuse);
      EXPECT_EQ(Line.Refusal.Kind, Row.Refused);
      EXPECT_EQ(Line.Refusal.Path, Args.back());
    } else {
      EXPECT_EQ(Line.What, CommandLine::Action::kRun);
      EXPECT_EQ(std::tie(Goal.Keep, Goal.MaxSize, Goal.MinFreeBytes,
                         Goal.MinFreePercent, Goal.MaxFiles),
                std::tie(Row.Read.Keep, Row.Read.MaxSize, Row.Read.MinFreeBytes,
                         Row.Read.MinFreePercent, Row.Read.MaxFiles));
    }
  }
  // A goal's text turns on no flag, and a path that holds one stays a path.
  const CommandLine Line =
      ReadCommandLine(Sys, {"-d1", "--keep=3", "/srv/old--keep=3"});
  EXPECT_FALSE(Line.Settings.EmptyFolders || Line.Settings.Recurse ||
               Line.Settings.DryRun);
  EXPECT_EQ(Line.Target, "/srv/old--keep=3");
  EXPECT_EQ(FreeGoal(Goals{.MinFreePercent = 15}, 1000), 150);
}

// Random times from a small range, so that equal times are common.
std::vector<Candidate> RandomCandidates(std::mt19937& Random, int Count) {
  std::vector<Candidate> All;
  for (int I = 0; I < Count; ++I) {
    All.push_back(Candidate{.Time = static_cast<int64_t>(Random() % 50),
                            .Path = "/" + std::to_string(I),
                            .Size = static_cast<int64_t>(Random() % 9),
                            .Frees = static_cast<int64_t>(Random() % 5)});
  }
  return All;
}

// Rounds until nothing is let go: every round holds the next oldest files
// in order, enough for its needs and no more than the newest one beyond.
TEST(GoalsTest, TheChoiceIsAPlainSortsPrefixThatCoversTheNeeds) {
  std::mt19937 Random(7);
  for (int Trial = 0; Trial < 200; ++Trial) {
    std::vector<Candidate> All = RandomCandidates(Random, 1 + Trial % 60);
    std::vector<Candidate> Order = All;
    std::sort(Order.begin(), Order.end());
    const Needs Need{
        .Size = Trial % 3 ? static_cast<int64_t>(Random() % 40) : -1,
        .Free = Trial % 2 ? static_cast<int64_t>(Random() % 30) : -1,
        .Files = Trial % 5 ? -1 : 1 + Trial % 7};
    std::optional<Candidate> Floor;
    size_t Done = 0;
    for (int Round = 0; Done < Order.size(); ++Round) {
      ASSERT_LT(Round, 100) << "no progress";
      DueChoice Choice(Floor);
      std::shuffle(All.begin(), All.end(), Random);
      for (const Candidate& C : All) Choice.Offer(C, Need);
      const std::vector<Candidate> Held = Choice.TakeOldestFirst();
      int64_t Size = 0, Frees = 0;
      for (const Candidate& C : Held) {
        ASSERT_LT(Done, Order.size());
        EXPECT_EQ(C.Path, Order[Done++].Path);
        Size += C.Size;
        Frees += C.Frees;
      }
      if (!Choice.LetGo()) break;
      // What is held covers the needs, and the one let go first was needed
      // by none of them (with a cap: as many as it allows).
      const Candidate& Next = *Choice.Horizon();
      EXPECT_EQ(Next.Path, Order[Done].Path);
      if (Need.Files >= 0 && static_cast<int64_t>(Held.size()) == Need.Files)
        break;
      if (Need.Size < 0 && Need.Free < 0) break;
      EXPECT_TRUE((Need.Size < 0 || Size >= Need.Size) &&
                  (Need.Free < 0 || Frees >= Need.Free));
      Floor = Next;
      if (Held.empty()) break;
    }
  }
}

TEST(GoalsTest, KeepNewestKeepsWhatASortByTimeAndNameKeeps) {
  std::mt19937 Random(11);
  for (int Trial = 0; Trial < 100; ++Trial) {
    const int64_t N = 1 + Trial % 6;
    KeepNewest Keep(N, TimeKind::kModification);
    std::vector<Entry> All, Out;
    for (int I = 0; I < Trial % 20; ++I) {
      Entry Item;
      Item.Name = "f" + std::to_string(Random() % 100);
      Item.Times.Modification = static_cast<int64_t>(Random() % 8);
      All.push_back(Item);
      Entry Older;
      if (Keep.Offer(Item, &Older)) Out.push_back(Older);
    }
    std::sort(All.begin(), All.end(), [](const Entry& A, const Entry& B) {
      return A.Times.Modification != B.Times.Modification
                 ? A.Times.Modification > B.Times.Modification
                 : A.Name > B.Name;
    });
    Lines Kept, Expected, Gone, Rest;
    for (const Entry& E : Keep.Held()) Kept.push_back(E.Name);
    for (const Entry& E : Out) Gone.push_back(E.Name);
    for (size_t I = 0; I < All.size(); ++I) {
      (static_cast<int64_t>(I) < N ? Expected : Rest).push_back(All[I].Name);
    }
    EXPECT_EQ(Sorted(Kept), Sorted(Expected));
    EXPECT_EQ(Sorted(Gone), Sorted(Rest));
  }
}

}  // namespace
}  // namespace olvane
