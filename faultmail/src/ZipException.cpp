#include "faultmail/ZipException.h"

#include <cstring>

#include <zlib.h>

CFileException::CFileException(int osError, const std::string& fileName, const std::string& operation)
    : CException("cannot " + operation + " \"" + fileName + "\": " + std::strerror(osError)), m_lOsError(osError),
      m_strFileName(fileName)
{
}

CZipException::CZipException(int cause, const std::string& fileName, const std::string& detail)
    : CException("zip error " + std::to_string(cause) + (detail.empty() ? std::string() : ": " + detail) +
                 (fileName.empty() ? std::string() : " (" + fileName + ")")),
      m_iCause(cause), m_szFileName(fileName)
{
}

int CZipException::ZlibErrToZip(int zlibResult)
{
    switch (zlibResult) {
    case Z_STREAM_END:
        return streamEnd;
    case Z_NEED_DICT:
        return needDict;
    case Z_ERRNO:
        return errNo;
    case Z_STREAM_ERROR:
        return streamError;
    case Z_DATA_ERROR:
        return dataError;
    case Z_MEM_ERROR:
        return memError;
    case Z_BUF_ERROR:
        return bufError;
    case Z_VERSION_ERROR:
        return versionError;
    default:
        return generic;
    }
}
