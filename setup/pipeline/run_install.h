#pragma once
#include "shell/install_session.h"

namespace tf {

// The whole install for one session, step by step; true only when "Done." was reached.
bool RunInstall(InstallSession& session);

}  // namespace tf
