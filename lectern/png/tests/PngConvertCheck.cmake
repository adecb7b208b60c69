# Drives the test host png-convert: a PAM of the right shape, a resaved PNG, and broken files
# refused with the exception's class and message on standard error and exit code 1.
#   cmake -DEXE=... -DEMULATOR=... -DFIXTURES=... -DOUT=... -P PngConvertCheck.cmake
function(run expectCode)
  execute_process(COMMAND ${EMULATOR} ${EXE} ${ARGN} RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT code EQUAL expectCode)
    message(FATAL_ERROR "png-convert ${ARGN}: exit ${code}, expected ${expectCode}: ${err}")
  endif()
  set(stderr "${err}" PARENT_SCOPE)
endfunction()

run(0 ${FIXTURES}/im-p4-i.png ${OUT}/out.pam)
file(READ ${OUT}/out.pam head LIMIT 67)
set(expected "P7\nWIDTH 37\nHEIGHT 23\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n")
if(NOT head STREQUAL expected)
  message(FATAL_ERROR "PAM header: ${head}")
endif()
file(SIZE ${OUT}/out.pam size)
string(LENGTH "${expected}" headSize)
math(EXPR want "${headSize} + 37 * 23 * 4")
if(NOT size EQUAL want)
  message(FATAL_ERROR "PAM size ${size}, expected ${want}")
endif()

run(0 --resave ${FIXTURES}/im-rgba8-i.png ${OUT}/out.png)
run(0 ${OUT}/out.png ${OUT}/again.pam)
run(0 ${FIXTURES}/im-rgba8.png ${OUT}/plain.pam)
file(SHA256 ${OUT}/again.pam resaved)
file(SHA256 ${OUT}/plain.pam plain)
if(NOT resaved STREQUAL plain)
  message(FATAL_ERROR "the resaved picture has other pixels than the original")
endif()

run(1 ${FIXTURES}/broken-crc.png ${OUT}/broken.pam)
string(FIND "${stderr}" "EPngInvalidCRC: This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc error)" at)
if(at EQUAL -1)
  message(FATAL_ERROR "broken file: ${stderr}")
endif()

# Damaged image data (fixtures/make-damaged-fixtures.py): too little of it, or a row filter the
# format does not know. Each file: the class and message on standard error, as pieces (the line
# break inside a message differs between the trees' run-time libraries).
set(zlibError "EPNGZLIBError: Could not decompress the image because it contains invalid compressed data.")
set(tooShort "${zlibError}|Description: the image data ends before its last row")
set(damaged
  "damaged-idat-4-bytes.png|${tooShort}"
  "damaged-idat-empty.png|${tooShort}"
  "damaged-idat-one-row.png|${tooShort}"
  "damaged-idat-short-i.png|${tooShort}"
  "damaged-idat-cut.png|EPNGMissingMultipleIDAT: This \"Portable Network Graphics\" image is invalid because it has missing image parts."
  "damaged-filter-9.png|${zlibError}|Description: unknown row filter 9"
  "damaged-filter-5-i.png|${zlibError}|Description: unknown row filter 5"
)
set(failures "")
foreach(case IN LISTS damaged)
  string(REPLACE "|" ";" pieces "${case}")
  list(POP_FRONT pieces file)
  execute_process(COMMAND ${EMULATOR} ${EXE} ${FIXTURES}/${file} ${OUT}/damaged.pam
                  RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_QUIET)
  set(found TRUE)
  foreach(piece IN LISTS pieces)
    string(FIND "${err}" "${piece}" at)
    if(at EQUAL -1)
      set(found FALSE)
    endif()
  endforeach()
  if(NOT code EQUAL 1 OR NOT found)
    string(APPEND failures "\n  ${file}: exit ${code}, expected 1 with \"${pieces}\"; standard error: ${err}")
  endif()
endforeach()

# Text keywords the format forbids (fixtures/make-damaged-fixtures.py): the picture reads, but a
# save refuses it.
set(keywordError "EPngError: The \"Portable Network Graphics\" image can not be saved because one of its texts has a keyword that is empty, longer than 79 bytes, holds a zero byte or is not ended by one.")
foreach(file text-keyword-empty.png text-keyword-80-bytes.png text-no-separator.png)
  execute_process(COMMAND ${EMULATOR} ${EXE} ${FIXTURES}/${file} ${OUT}/text.pam
                  RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_QUIET)
  if(NOT code EQUAL 0)
    string(APPEND failures "\n  ${file}: exit ${code} reading it, expected 0; standard error: ${err}")
  endif()
  execute_process(COMMAND ${EMULATOR} ${EXE} --resave ${FIXTURES}/${file} ${OUT}/text.png
                  RESULT_VARIABLE code ERROR_VARIABLE err OUTPUT_QUIET)
  string(FIND "${err}" "${keywordError}" at)
  if(NOT code EQUAL 1 OR at EQUAL -1)
    string(APPEND failures "\n  ${file}: exit ${code} saving it, expected 1 with \"${keywordError}\"; standard error: ${err}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "damaged image data and text keywords:${failures}")
endif()
