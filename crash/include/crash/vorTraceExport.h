#pragma once
// The cross-process thread trace: another process asks this one for a
// report of its threads and receives the text through the named mapping
// "vorTraceProcessMap" (or "Global\vorTraceProcessMap"), or, without a
// size, on the clipboard.
//
// The exported routine can be called in this process by a debugger; the
// usual road is a request signal: the requester creates the mapping and a
// completion word "vorTraceProcessDone$<its id>", then queues the request
// signal with the mapping's size; the reporter's worker composes the
// report, writes it and sets the word.
#include <sys/types.h>

#include <cstdint>
#include <string>

extern "C" std::int32_t vorTraceProcess(std::int32_t size);

namespace ax {

// The request signal (SIGRTMIN + 4); its handler comes with the reporter.
int TraceRequestSignal();

// Writes the report into the receiving mapping (at most its real size,
// whatever size says), or on the clipboard for a size below 1.
void DeliverProcessTrace(const std::string& report, std::int32_t size);
// The frozen-form report of every thread, as the export composes it.
std::string ComposeProcessTrace();

// The requesting side: asks process pid for its trace with a mapping of
// capacity bytes and waits at most timeoutMs. False when the process did
// not answer.
bool RequestProcessTrace(pid_t pid, std::int32_t capacity, int timeoutMs, std::string& text);

} // namespace ax
