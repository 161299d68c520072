// Unattended message boxes for tuner-host's --answer-dialogs: from the call on, every message box
// shown on the calling thread is printed to standard error as "<caption>: <text>" and answered
// with OK. Where message boxes already behave so (the POSIX stand-in), the call does nothing.
#pragma once

void AnswerDialogs();
