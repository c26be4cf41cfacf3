// The whole public interface of the library in one include.
#ifndef VANTREL_VANTREL_H
#define VANTREL_VANTREL_H

#include <Vantrel/KorrinExport.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/HashValues.h>
#include <Vantrel/IDigestAccumulator.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/SHA1Digest.h>
#include <Vantrel/DigestCalculate.h>
#include <Vantrel/FileWindow.h>
#include <Vantrel/DigestEntry.h>
#include <Vantrel/IDigestIO.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ReadDigestFile.h>
#include <Vantrel/DeltaEntry.h>
#include <Vantrel/IDeltaIO.h>
#include <Vantrel/FileDelta.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/DeltaTally.h>
#include <Vantrel/DeltaFileWriter.h>
#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/GenerateTempFilename.h>
#include <Vantrel/FileLock.h>
#include <Vantrel/Logging.h>

#endif
