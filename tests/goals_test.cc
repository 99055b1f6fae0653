// The two choices the retention goals make: the newest of a folder that
// --keep keeps, and the oldest due files a ranked run remembers, each against
// a plain sort. How their values are read is in the command line's table.
#include "purge/goals.h"

#include <random>
#include <tuple>

#include "fixture.h"

namespace olvane {
namespace {

// Rounds until nothing is let go: every round holds the next oldest files
// in order, enough for its needs and no more than the newest one beyond.
TEST(GoalsTest, TheChoiceIsAPlainSortsPrefixThatCoversTheNeeds) {
  FakePlatform Sys;
  Sys.Free = 0;  // of 2^40 bytes: 15% asked for, in bytes
  EXPECT_EQ(FreeSpaceGoal(Sys, Goals{.MinFreePercent = 15}, "/").Need(0),
            164926744166);
  std::mt19937 Random(7);
  for (int Trial = 0; Trial < 200; ++Trial) {
    std::vector<Candidate> All;  // times from a small range: many are equal
    for (int I = 0; I < 1 + Trial % 60; ++I) {
      All.push_back(Candidate{.Time = {static_cast<int64_t>(Random() % 50)},
                              .Name = std::to_string(I),
                              .Size = static_cast<int64_t>(Random() % 9),
                              .Frees = static_cast<int64_t>(Random() % 5)});
    }
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
        EXPECT_EQ(C.Name, Order[Done++].Name);
        Size += C.Size;
        Frees += C.Frees;
      }
      if (!Choice.LetGo()) break;
      // What is held covers the needs, and the one let go first was needed
      // by none of them (with a cap: as many as it allows).
      const Candidate& Next = *Choice.Horizon();
      EXPECT_EQ(Next.Name, Order[Done].Name);
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

// Files of equal times come in the order of their paths from the target
// down, a folder's own path before what is in it, whatever round of the
// run found them.
TEST(GoalsTest, EqualTimesGoInTheOrderOfTheirPaths) {
  using Node = std::shared_ptr<const FolderNode>;
  const auto Below = [](Node Above, const char* Name) {
    return std::make_shared<const FolderNode>(FolderNode{Above, Name});
  };
  const Node Target = Below(nullptr, ""), Before = Below(nullptr, "");
  const Node A = Below(Target, "a"), AB = Below(A, "b");
  const std::vector<Candidate> Order = {
      {.Dir = Target, .Name = "a"},         {.Dir = A, .Name = "b"},
      {.Dir = AB, .Name = "a"},             {.Dir = Below(Before, "a"), .Name = "c"},
      {.Dir = A, .Name = "z"},              {.Dir = Target, .Name = "b"},
      {.Dir = Below(Target, "c"), .Name = "a"}};
  for (size_t I = 0; I < Order.size(); ++I) {
    for (size_t J = 0; J < Order.size(); ++J) {
      EXPECT_EQ(Order[I] < Order[J], I < J) << I << " " << J;
    }
  }
}

// Files that fail at random places (held, gone since the examination,
// refusing removal) under each goal: 32 workers act on several files at
// once, yet on exactly the files one worker acts on, with the same lines,
// status and prediction.
TEST(GoalsTest, WorkersActOnWhatOneThreadActsOn) {
  std::mt19937 Random(5);
  size_t MostAtOnce = 0;
  for (int Trial = 0; Trial < 9; ++Trial) {
    std::vector<Item> Tree;
    int64_t Total = 0;
    for (int I = 0; I < 60; ++I) {
      const int Fault = static_cast<int>(Random() % 12);
      const int Flags = (Fault < 2   ? kHeld
                         : Fault < 4 ? kVanishes
                                     : 0) |
                        (Fault == 4 ? kNoRemove : 0) |
                        (Random() % 6 ? 0 : kSlow);
      const std::string Path =
          "/t/d" + std::to_string(Random() % 4) + "/f" + std::to_string(I);
      Tree.emplace_back(Path.c_str(), I % 9 ? 10 + (I * 37) % 60 : 1, Flags);
      Tree.back().Entry.Size = static_cast<int64_t>(Random() % 4) * 1000;
      Total += Tree.back().Entry.Size;
    }
    const int64_t Free = 1 << 20, Part = 1 + Total / 100 * (Random() % 100);
    const std::string Goal =
        Trial % 3 == 0   ? "--max-files=" + std::to_string(1 + Random() % 40)
        : Trial % 3 == 1 ? "--max-size=" + std::to_string(Part)
                         : "--min-free=" + std::to_string(Free + Part);
    SCOPED_TRACE(Goal);
    std::string Output[3];
    Lines Log[2];
    int Status[3];
    for (int Run = 0; Run < 3; ++Run) {
      FakePlatform Sys;
      Prepare(Sys, Tree);
      Sys.Free = Free;
      Lines Args = {"-d5", "/t", "-r", Goal};
      if (Run == 2) Args.push_back("-n");
      Status[Run] = RunCommand(Sys, Args, Run ? 32 : 1);
      Output[Run] = Sys.Output;
      if (Run < 2) Log[Run] = Sys.Log;
      if (Run) MostAtOnce = std::max(MostAtOnce, Sys.MostSlowed);
    }
    EXPECT_TRUE(Status[0] == Status[1] && Status[0] == Status[2]);
    EXPECT_EQ(Output[0], Output[1]);
    EXPECT_EQ(Sorted(Log[0]), Sorted(Log[1]));
    std::string Expected;
    for (const std::string& Line : Predicted(Words(Output[0], '\n')))
      Expected += Line + "\n";
    EXPECT_EQ(Output[2], Expected);
  }
  EXPECT_GT(MostAtOnce, 1u);
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
      Keep.Offer(Item, &Out);
    }
    std::sort(All.begin(), All.end(), [](const Entry& A, const Entry& B) {
      return std::tie(B.Times.Modification, B.Name) <
             std::tie(A.Times.Modification, A.Name);  // the newest first
    });
    Lines Kept, Expected, Gone, Rest;
    for (const Entry& E : Keep.Held()) Kept.push_back(E.Name);
    for (const Entry& E : Out) Gone.push_back(E.Name);
    for (size_t I = 0; I < All.size(); ++I)
      (static_cast<int64_t>(I) < N ? Expected : Rest).push_back(All[I].Name);
    EXPECT_EQ(Sorted(Kept), Sorted(Expected));
    EXPECT_EQ(Sorted(Gone), Sorted(Rest));
  }
}

}  // namespace
}  // namespace olvane
