#include "editor/Session.h"

#include <GLFW/glfw3.h>

size_t Session::PollJobs()
{
    if (polling) return 0;
    polling = true;
    const size_t ended = jobs.Poll();
    polling = false;
    return ended;
}

void Session::FinishSoon(uint64_t job, std::chrono::milliseconds wait)
{
    if (job == 0 || polling) return;
    if (jobs.Wait(job, wait)) PollJobs();
}

void Session::SetNotice(const std::string& text, const std::string& actionLabel, std::function<void()> action)
{
    notice = text;
    noticeTime = glfwGetTime();
    noticeActionLabel = actionLabel;
    noticeAction = std::move(action);
}
