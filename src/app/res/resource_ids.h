// Resource identifiers shared by the resource script and the code.
#pragma once

#define kResAppIcon 1
#define kResRebuildPicture 10
#define kResExitPicture 11
