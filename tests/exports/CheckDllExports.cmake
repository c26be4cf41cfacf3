# Checks what the Windows DLL exports: every public class and function of the headers in
# Vantrel/ and every function of the C interface under its plain C name, and nothing else,
# so that the platform layer (runtime and kernel bindings, hashing functions, path
# conversions) and the engine's helpers stay inside.
#
#   cmake -DDLL=... -DOBJDUMP=...-objdump -DCXXFILT=...-c++filt -DC_HEADER=.../korrin_c.h -DWORK_DIR=... \
#     -P CheckDllExports.cmake

cmake_minimum_required(VERSION 3.20)

# The public entities: classes by the qualified name their members begin with, free
# functions by their name and opening parenthesis.
set(public_classes
  Halvorn::Vantrel::Korrin
  Halvorn::Vantrel::FileDigest
  Halvorn::Vantrel::IDigestIO
  Halvorn::Vantrel::MemoryDigestIO
  Halvorn::Vantrel::FileDelta
  Halvorn::Vantrel::IDeltaIO
  Halvorn::Vantrel::MemoryDeltaIO
  Halvorn::Vantrel::DeltaFileWriter
  Halvorn::Vantrel::DeltaFileReader
  Halvorn::Vantrel::Rcheck32Digest
  Halvorn::Vantrel::MD5Digest
  Halvorn::Vantrel::SHA1Digest
  Halvorn::Vantrel::IDigestAccumulator
  FileWindow
  FileLock
  ILogger
  LoggerRegistry
)
set(public_functions
  "GenerateTempFilename("
  "digest_calculate("
  "Halvorn::Vantrel::ReadDigestFile("
  "operator==(_md5_hash const&, _md5_hash const&)"
  "operator!=(_md5_hash const&, _md5_hash const&)"
  "operator==(_sha1_hash const&, _sha1_hash const&)"
  "operator!=(_sha1_hash const&, _sha1_hash const&)"
)
# Members that must be there by name, beyond each class having some export.
set(required_members
  "Halvorn::Vantrel::Korrin::GenerateFileDigest("
  "Halvorn::Vantrel::Korrin::GenerateFileDelta("
  "Halvorn::Vantrel::Korrin::GenerateDeltaForWholeFile("
  "Halvorn::Vantrel::Korrin::ApplyFileDelta("
  "Halvorn::Vantrel::MemoryDigestIO::WriteToBlob("
  "Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob("
  "Halvorn::Vantrel::MemoryDeltaIO::WriteToBlob("
  "Halvorn::Vantrel::MemoryDeltaIO::ReadFromBlob("
  "Halvorn::Vantrel::FileDelta::GenerateFile("
  "FileWindow::Open("
  "FileLock::Create("
  "LoggerRegistry::getLogger("
  "LoggerRegistry::setSink("
)

foreach(variable DLL OBJDUMP CXXFILT C_HEADER WORK_DIR)
  if(NOT ${variable})
    message(FATAL_ERROR "CheckDllExports: ${variable} is not set")
  endif()
endforeach()

# The C functions, as the header declares them: exported by their bare names, which a
# C++ function's mangled name never is.
file(READ ${C_HEADER} header)
string(REGEX MATCHALL "KORRIN_API [^;(]*[ *]korrin_[a-z0-9_]+\\(" declarations "${header}")
set(c_functions "")
foreach(declaration IN LISTS declarations)
  string(REGEX REPLACE ".*[ *](korrin_[a-z0-9_]+)\\($" "\\1" name "${declaration}")
  list(APPEND c_functions ${name})
endforeach()
list(LENGTH c_functions c_count)
if(c_count LESS 10)
  message(FATAL_ERROR "${C_HEADER}: only ${c_count} functions found")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()
# The export table's names: "\t[   n] name" lines after "[Ordinal/Name Pointer] Table".
string(FIND "${listing}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${DLL} exports nothing")
endif()
string(SUBSTRING "${listing}" ${start} -1 listing)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" entries "${listing}")
set(mangled "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${entry}")
  string(APPEND mangled "${name}\n")
endforeach()
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/exports-mangled.txt "${mangled}")
execute_process(COMMAND ${CXXFILT} INPUT_FILE ${WORK_DIR}/exports-mangled.txt
  OUTPUT_FILE ${WORK_DIR}/exports.txt RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${CXXFILT} failed")
endif()
file(STRINGS ${WORK_DIR}/exports.txt exports)
list(LENGTH exports count)
message(STATUS "${count} exports, listed in ${WORK_DIR}/exports.txt")

function(starts_with text prefix result)
  string(LENGTH "${prefix}" length)
  string(SUBSTRING "${text}" 0 ${length} head)
  if(head STREQUAL prefix)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(problems "")
set(seen_classes "")
set(seen_functions "")
foreach(export IN LISTS exports)
  # Virtual tables and type information belong to their class.
  string(REGEX REPLACE "^(vtable|typeinfo|typeinfo name) for " "" subject "${export}")
  set(known FALSE)
  if(export IN_LIST c_functions)
    set(known TRUE)
    list(APPEND seen_functions ${export})
  endif()
  foreach(class IN LISTS public_classes)
    starts_with("${subject}" "${class}::" member)
    if(member OR subject STREQUAL class)
      set(known TRUE)
      list(APPEND seen_classes ${class})
      break()
    endif()
  endforeach()
  if(NOT known)
    foreach(function IN LISTS public_functions)
      starts_with("${subject}" "${function}" match)
      if(match)
        set(known TRUE)
        list(APPEND seen_functions "${function}")
        break()
      endif()
    endforeach()
  endif()
  if(NOT known)
    string(APPEND problems "  exported, but not public: ${export}\n")
  endif()
endforeach()

foreach(class IN LISTS public_classes)
  if(NOT class IN_LIST seen_classes)
    string(APPEND problems "  public, but not exported: class ${class}\n")
  endif()
endforeach()
foreach(function IN LISTS public_functions c_functions)
  if(NOT function IN_LIST seen_functions)
    string(APPEND problems "  public, but not exported: ${function}\n")
  endif()
endforeach()
foreach(member IN LISTS required_members)
  set(found FALSE)
  foreach(export IN LISTS exports)
    starts_with("${export}" "${member}" found)
    if(found)
      break()
    endif()
  endforeach()
  if(NOT found)
    string(APPEND problems "  public, but not exported: ${member}\n")
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "${DLL}:\n${problems}")
endif()
