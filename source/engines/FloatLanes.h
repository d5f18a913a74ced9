#pragma once

/** Four floats in one vector register, for running independent filter chains side by side (the two
    channels, or both paths of a polyphase stage). Each lane does plain float arithmetic, so a lane
    gives the same bits as the scalar code it stands for. */
using FloatLanes = float __attribute__ ((vector_size (16)));
