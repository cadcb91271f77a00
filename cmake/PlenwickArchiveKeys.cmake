# The archive keys built into a downloader: a file of PEM P-256 public keys (several allowed, for
# rotation), read at configure time and compiled into the program's constants
# (DistributionHost.cpp includes the literal written here; a file rather than a definition, since
# a definition cannot carry every character a note beside the keys may hold). Each key is checked here with openssl when it is at hand: a key the
# program could not use must not become a build that refuses every archive.

find_program(PLENWICK_OPENSSL openssl)

# plenwick_archive_keys_literal(<keys file or empty> <output file>): writes the C string literal
# of the keys file's text ("" for none) into the output file, touching it only when it changes.
function(plenwick_archive_keys_literal file output)
  if(file STREQUAL "")
    file(CONFIGURE OUTPUT "${output}" CONTENT "\"\"\n")
    return()
  endif()
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "The archive keys file \"${file}\" does not exist")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  file(READ "${file}" text)
  string(REPLACE "\r" "" text "${text}")
  string(REGEX MATCHALL "-----BEGIN [A-Z ]+-----[^-]*-----END [A-Z ]+-----" blocks "${text}")
  if(NOT blocks)
    message(FATAL_ERROR "The archive keys file \"${file}\" holds no PEM public key")
  endif()
  set(number 0)
  foreach(block ${blocks})
    math(EXPR number "${number} + 1")
    if(NOT block MATCHES "^-----BEGIN PUBLIC KEY-----")
      message(FATAL_ERROR "Block ${number} of \"${file}\" is no public key; list public keys only "
                          "(openssl pkey -in KEY -pubout)")
    endif()
    if(PLENWICK_OPENSSL)
      set(one "${CMAKE_CURRENT_BINARY_DIR}/archive-key-check.pem")
      file(WRITE "${one}" "${block}\n")
      execute_process(COMMAND "${PLENWICK_OPENSSL}" pkey -pubin -in "${one}" -noout -text_pub
                      RESULT_VARIABLE failed OUTPUT_VARIABLE shown ERROR_QUIET)
      if(NOT failed)
        execute_process(COMMAND "${PLENWICK_OPENSSL}" pkey -pubin -in "${one}" -noout -pubcheck
                        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
      endif()
      file(REMOVE "${one}")
      if(failed OR NOT shown MATCHES "ASN1 OID: prime256v1")
        message(FATAL_ERROR "Key ${number} of \"${file}\" is no valid ECDSA P-256 public key")
      endif()
    endif()
  endforeach()
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n\"\n\"" text "${text}")
  file(CONFIGURE OUTPUT "${output}" CONTENT "\"${text}\"\n")
endfunction()
