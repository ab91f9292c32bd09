// The image-strip button of the skinned control library.
#pragma once

#include <transbtn.h>
