#pragma once

#include <functional>

// Runs AWork, a blocking call that takes no socket of ours (a system call that may wait on the
// network), on a thread of its own while the calling thread waits as a socket wait does: with
// responsive waiting in use on this thread it sleeps in IdleTimeOut slices and processes the
// window's messages between them; otherwise it simply waits. An exception of AWork is raised
// here. A program that no longer wants the result (TIdAntiFreezeBase::WaitAbandoned) ends the
// wait with EIdConnClosedGracefully; the thread then finishes in the background, so AWork must
// own or share everything it touches.
void RunResponsively(std::function<void()> AWork);
