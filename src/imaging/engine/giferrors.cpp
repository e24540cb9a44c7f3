#include "imaging/engine/giferrors.h"

#include <gif_lib.h>

namespace engine {

Status statusFromGifError(int giflibError)
{
    switch (giflibError) {
    case 0:
        return Ok;
    case D_GIF_ERR_OPEN_FAILED:
        return FileNotFound;
    case D_GIF_ERR_NOT_GIF_FILE:
    case D_GIF_ERR_NO_SCRN_DSCR:
    case D_GIF_ERR_READ_FAILED: // shorter than a header
        return UnknownImageFormat;
    case D_GIF_ERR_NOT_ENOUGH_MEM:
    case E_GIF_ERR_NOT_ENOUGH_MEM:
        return OutOfMemory;
    case D_GIF_ERR_NOT_READABLE:
    case E_GIF_ERR_NOT_WRITEABLE:
        return AccessDenied;
    case E_GIF_ERR_OPEN_FAILED:
    case E_GIF_ERR_WRITE_FAILED:
    case E_GIF_ERR_DISK_IS_FULL:
    case E_GIF_ERR_CLOSE_FAILED:
        return Win32Error;
    case E_GIF_ERR_DATA_TOO_BIG:
    case D_GIF_ERR_DATA_TOO_BIG:
        return InvalidParameter;
    default:
        return GenericError;
    }
}

} // namespace engine
