#pragma once

#include <QString>

class QObject;

#include <chrono>
#include <functional>

// Threads for the jobs' worker routines (a search, a download run, a
// verification). A routine holds what it needs itself (its job, by shared
// pointer), so nobody has to wait for it: the thread object goes by itself
// once the routine has returned. Only the end of the program waits, with a
// bound, for the routines still under way (they have been cancelled by then).
namespace WorkerThreads {

// Runs `routine` on a new thread named `name`.
void start(const QString &name, std::function<void()> routine);

// How many routines are under way.
int running();

// The program is ending: routines drop even the transfer under way
// (stopping() turns true for good).
void requestStop();
bool stopping();

// Waits until no routine runs or `timeout` has passed; false on timeout.
bool waitForAll(std::chrono::milliseconds timeout);

// The deleter of a QObject shared with routines: the last holder may be a
// worker, and the object goes on its own thread.
void deleteOnOwnThread(QObject *object);

} // namespace WorkerThreads
