// The automaton framework: transitions, $REVERSE$, the exception path and
// its retry flag, fixed ids, and concurrent runs of one automaton.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "automaton.h"

namespace msgops {
namespace {

// A context that records which states ran.
class TraceContext : public AutomatonContext {
 public:
  TraceContext() : AutomatonContext("TEST") {}
  std::string path;
};

const AutomatonEvent* Visit(AutomatonContext& c, const AutomatonState& s, const AutomatonEvent* e) {
  auto& context = static_cast<TraceContext&>(c);
  context.path += s.name() + ";";
  return e;
}

TEST(AutomatonTest, TransitionsRefuseIdsOutsideTheCapacity) {
  Automaton a("A", 6);
  std::vector<AutomatonEvent*> events;
  for (int i = 0; i < 5; ++i) events.push_back(a.AddEvent("E" + std::to_string(i + 1), 7, 0));
  AutomatonState* s = a.AddState("S", kRoleStart, 3);
  AutomatonEvent zero("ZERO", 7, 0, 0);
  EXPECT_EQ(s->AddTransition(zero, s), -1);
  EXPECT_EQ(s->AddTransition(*events[0], s), 0);   // id 1
  EXPECT_EQ(s->AddTransition(*events[1], s), 0);   // id 2
  EXPECT_EQ(s->AddTransition(*events[2], s), -1);  // id 3 == capacity
  const AutomatonState* target = nullptr;
  EXPECT_FALSE(s->Lookup(*events[2], &target));
  EXPECT_TRUE(s->Lookup(*events[1], &target));
}

TEST(AutomatonTest, IdsAreFixedByBuildOrderNotByLiveObjects) {
  auto first = std::make_unique<Automaton>("A", 6);
  AutomatonEvent* a1 = first->AddEvent("X", 7, 0);
  {
    Automaton other("B", 6);
    other.AddEvent("Y", 7, 0);
    other.AddEvent("Z", 7, 0);
  }
  Automaton second("C", 6);
  AutomatonEvent* c1 = second.AddEvent("X", 7, 0);
  EXPECT_EQ(a1->GetId(), 1);
  EXPECT_EQ(c1->GetId(), 1);
}

TEST(AutomatonTest, RunFollowsTransitionsToAFinalState) {
  Automaton a("A", 6);
  auto* ok = a.AddEvent("OK", 7, 0);
  auto* fin = a.AddState("FIN", kRoleFinal, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, ok); });
  auto* mid = a.AddState("MID", kRoleNormal, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, ok); });
  auto* start = a.AddState("START", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, ok); });
  start->AddTransition(*ok, mid);
  mid->AddTransition(*ok, fin);
  a.Start(start);
  TraceContext context;
  AutomatonRun run(a);
  // The final state's event has no transition: the run ends there without
  // entering an exception state.
  EXPECT_EQ(run.Run(context), kRunFinal);
  EXPECT_EQ(context.path, "START;MID;FIN;");
  EXPECT_EQ(run.last_event(), ok);
}

TEST(AutomatonTest, ReverseGoesBackToTheEnteringStateOrNowhere) {
  Automaton a("A", 6);
  auto* go = a.AddEvent("GO", 7, 0);
  auto* back = a.AddEvent("BACK", 7, 0);
  int respond_calls = 0;
  auto* respond = a.AddState("RESPOND", kRoleNormal, 10, [&](const AutomatonState& s, AutomatonContext& c) {
    ++respond_calls;
    return Visit(c, s, back);
  });
  auto* work = a.AddState("WORK", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) {
    if (respond_calls == 2) c.Stop();
    return Visit(c, s, go);
  });
  work->AddTransition(*go, respond);
  respond->AddTransition(*back, a.Reverse());
  a.Start(work);
  TraceContext context;
  AutomatonRun run(a);
  EXPECT_EQ(run.Run(context), kRunNotFinal);
  EXPECT_EQ(context.path, "WORK;RESPOND;WORK;RESPOND;WORK;");

  // Started in RESPOND, nothing entered it: $REVERSE$ leads to no state.
  Automaton b("B", 6);
  auto* back_b = b.AddEvent("BACK", 7, 0);
  auto* only = b.AddState("ONLY", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, back_b); });
  only->AddTransition(*back_b, b.Reverse());
  b.Start(only);
  TraceContext lone;
  AutomatonRun run_b(b);
  EXPECT_EQ(run_b.Run(lone), kRunStuck);  // no exception state either
}

TEST(AutomatonTest, NoTransitionEntersTheExceptionStateOnceThenSticks) {
  Automaton a("A", 6);
  auto* odd = a.AddEvent("ODD", 7, 2);
  auto* stuck = a.AddState("STUCK", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd); });
  auto* except = a.AddState("EXCEPT", kRoleFinal, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd); });
  a.Start(stuck);
  a.SetExceptionState(except);
  TraceContext context;
  AutomatonRun run(a);
  EXPECT_EQ(run.Run(context), kRunFinal);
  EXPECT_EQ(context.path, "STUCK;EXCEPT;");

  // An exception state that is not final and fails too ends the run stuck.
  Automaton b("B", 6);
  auto* odd_b = b.AddEvent("ODD", 7, 2);
  auto* s1 = b.AddState("S1", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd_b); });
  auto* ex = b.AddState("EX", kRoleNormal, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd_b); });
  b.Start(s1);
  b.SetExceptionState(ex);
  TraceContext twice;
  AutomatonRun run_b(b);
  EXPECT_EQ(run_b.Run(twice), kRunStuck);
  EXPECT_EQ(twice.path, "S1;EX;");
}

TEST(AutomatonTest, ARunThatUsedItsRetryDoesNotCostTheNextRunItsExceptionPath) {
  // Both runs on one thread: the first ends stuck with its retry used up;
  // the second must still reach its exception state.
  Automaton b("B", 6);
  auto* odd = b.AddEvent("ODD", 7, 2);
  auto* s1 = b.AddState("S1", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd); });
  auto* ex = b.AddState("EX", kRoleFinal, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd); });
  b.Start(s1);
  // The first automaton's exception state fails too, so its run ends stuck
  // with the retry spent.
  Automaton spent("N", 6);
  auto* odd_n = spent.AddEvent("ODD", 7, 2);
  auto* n1 = spent.AddState("N1", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd_n); });
  auto* n_ex = spent.AddState("NEX", kRoleNormal, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, odd_n); });
  spent.Start(n1);
  spent.SetExceptionState(n_ex);
  b.SetExceptionState(ex);
  for (int round = 0; round < 2; ++round) {
    TraceContext first;
    AutomatonRun run_first(spent);
    EXPECT_EQ(run_first.Run(first), kRunStuck);
    EXPECT_EQ(first.path, "N1;NEX;");
    TraceContext second;
    AutomatonRun run_second(b);
    EXPECT_EQ(run_second.Run(second), kRunFinal) << "round " << round;
    EXPECT_EQ(second.path, "S1;EX;");
  }
}

TEST(AutomatonTest, AnEventHandlerCanRefuseItsTransition) {
  Automaton a("A", 6);
  auto* refused = a.AddEvent("REFUSED", 7, 0, [](const AutomatonEvent&, AutomatonContext&) { return -1; });
  auto* start = a.AddState("S", kRoleStart, 10, [&](const AutomatonState& s, AutomatonContext& c) { return Visit(c, s, refused); });
  auto* other = a.AddState("O", kRoleFinal, 10);
  start->AddTransition(*refused, other);
  a.Start(start);
  TraceContext context;
  AutomatonRun run(a);
  EXPECT_EQ(run.Run(context), kRunStuck);
  EXPECT_EQ(run.current(), start);
}

TEST(AutomatonTest, DumpsPrintTheFormatsTheLogReadersExpect) {
  Automaton a("AUTO", 6);
  auto* ok = a.AddEvent("OK", 7, 0);
  auto* s = a.AddState("S", kRoleStart, 10);
  auto* t = a.AddState("T", kRoleFinal, 10);
  s->AddTransition(*ok, t);
  t->AddTransition(*ok, a.Reverse());
  a.Start(s);
  a.SetExceptionState(t);
  char* text = nullptr;
  size_t length = 0;
  FILE* out = open_memstream(&text, &length);
  s->Dump(out);
  t->Dump(out);
  a.Dump(out, t);
  ok->Dump(out);
  fclose(out);
  EXPECT_EQ(std::string(text, length),
            "\tTRANSITION(<S>, OK, <T>)\n"
            "\tTRANSITION(<T>, OK, $REVERSE$)\n"
            "DF-AUTOMATA(\"AUTO\"):\n\tSTART_STATE(\"S\")\n\tEXCEPTION(\"T\")\n\tCURRENT_STATE(\"T\")\n\n"
            "m_szName = \"OK\",\nm_lType = 7,\n_lId = 1\n");
  free(text);

  NamedObject named(std::string(70, 'x'), 1);
  char buffer[80];
  EXPECT_TRUE(named.GetName(buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer).size(), NamedObject::kNameLength);
  char small[8];
  EXPECT_FALSE(named.GetName(small, sizeof small));
  EXPECT_STREQ(small, "xxxxxxx");
}

TEST(AutomatonTest, OneAutomatonRunsOnManyThreadsAtOnce) {
  Automaton a("A", 6);
  auto* again = a.AddEvent("AGAIN", 7, 0);
  auto* done = a.AddEvent("DONE", 7, 0);
  struct Counter : AutomatonContext {
    Counter() : AutomatonContext("C") {}
    int steps = 0;
    int target = 0;
  };
  auto* loop = a.AddState("LOOP", kRoleStart, 10, [&](const AutomatonState&, AutomatonContext& c) {
    auto& counter = static_cast<Counter&>(c);
    return ++counter.steps < counter.target ? again : done;
  });
  auto* fin = a.AddState("FIN", kRoleFinal, 10);
  loop->AddTransition(*again, loop);
  loop->AddTransition(*done, fin);
  a.Start(loop);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        Counter counter;
        counter.target = 1 + (t * 7 + i) % 50;
        AutomatonRun run(a);
        if (run.Run(counter) != kRunFinal || counter.steps != counter.target) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace msgops
