#pragma once
// Convenience header: the whole core part of the platform layer.
#include "Types.h"
#include "Codec.h"
#include "SysUtils.h"
#include "Classes.h"
#include "FileUtils.h"
#include "IniFiles.h"
