# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged files before the
# Debian package is made: the manual page and the changelog are compressed
# as Debian policy asks (gzip -9n: best compression, no name or time stamp
# in the header, so the same files give the same package).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
file(GLOB_RECURSE staged
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man1/coffhex.1"
     "${CPACK_TEMPORARY_DIRECTORY}/*/share/doc/coffhex/changelog")
if(NOT staged)
  message(FATAL_ERROR "package_compress: no manual page or changelog under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(file ${staged})
  execute_process(COMMAND ${GZIP_EXECUTABLE} -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package_compress: gzip ${file} failed")
  endif()
endforeach()
