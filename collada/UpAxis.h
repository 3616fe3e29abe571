#pragma once
// The up axis a Collada document declares in its asset.

enum EUpAxis : int {
    eUpAxisNone = 0, // no asset
    eUpAxisY = 1,    // Y_UP, or an asset without up_axis
    eUpAxisZ = 2,
    eUpAxisX = 3,
};
