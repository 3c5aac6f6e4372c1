#include "tools/zdb/ZdbInterrupt.h"

#include <signal.h>

#include <csignal>
#include <iterator>

namespace zdbtool {
namespace {

volatile std::sig_atomic_t receivedSignal = 0;

constexpr int HandledSignals[] = {SIGINT, SIGTERM};
struct sigaction previousActions[std::size(HandledSignals)];

void NoteSignal(int signal) {
  receivedSignal = signal;
  // The next one, of either kind, finds the default action and ends the process.
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (const int handled : HandledSignals) sigaction(handled, &standard, nullptr);
}

}  // namespace

std::string SignalName(int signal) { return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal"; }

TZdbInterrupted::TZdbInterrupted(int signal)
    : std::runtime_error("interrupted by " + SignalName(signal)), signal_(signal) {}

TZdbInterruptGuard::TZdbInterruptGuard() {
  receivedSignal = 0;
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (size_t i = 0; i < std::size(HandledSignals); ++i) sigaction(HandledSignals[i], &action, &previousActions[i]);
}

TZdbInterruptGuard::~TZdbInterruptGuard() {
  for (size_t i = 0; i < std::size(HandledSignals); ++i) sigaction(HandledSignals[i], &previousActions[i], nullptr);
}

void ThrowIfInterrupted() {
  if (receivedSignal != 0) throw TZdbInterrupted(receivedSignal);
}

}  // namespace zdbtool
