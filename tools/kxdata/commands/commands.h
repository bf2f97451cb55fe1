// The subcommands of the data tool; each lives in its own file under commands/.
#pragma once

#include "tools/kxdata/kxdata.h"

namespace kx::kxdata {

int CmdCreate(CommandContext& context);
int CmdAdd(CommandContext& context);
int CmdDelete(CommandContext& context);
int CmdDump(CommandContext& context);
int CmdVerify(CommandContext& context);
int CmdDamage(CommandContext& context);
int CmdLock(CommandContext& context);
int CmdIndex(CommandContext& context);
int CmdPack(CommandContext& context);
int CmdSample(CommandContext& context);
int CmdRebuild(CommandContext& context);

}  // namespace kx::kxdata
