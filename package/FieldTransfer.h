// Whole binary values between this library's fields and files, without the copies the public
// Field calls must make. Internal to the module; any other Field takes the public way.
#pragma once

#include "platform/ado/AdoInterfaces.h"
#include "platform/afx/CString.h"

// Creates or empties strFile and writes the n bytes there; nothing when it cannot be created.
// Write errors raise CFileException.
void ZqkWriteBytesToFile(CString& strFile, const BYTE* pBytes, UINT n);

// Writes pField's whole value of nSize bytes (ActualSize, > 0) to strFile straight from its
// storage when pField is this library's and can lend it: the bytes GetChunk(nSize) would hand
// out, with the recordset left as that call leaves it. False, with nothing done, otherwise.
bool ZqkWriteLentField(CString& strFile, Field* pField, long nSize);

// pField->AppendChunk(var), except that a field of this library takes var's byte array over
// instead of copying it where it can, leaving var VT_EMPTY (otherwise var stays). Failures
// raise _com_error as Field::AppendChunk raises them.
void ZqkAppendChunkTakingOver(Field* pField, VARIANT& var);
