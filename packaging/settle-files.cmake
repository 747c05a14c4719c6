# Run by CPack between installing into its staging folder and packing it:
# every file and folder there gets SOURCE_DATE_EPOCH as its time, so that the
# same commit and SOURCE_DATE_EPOCH give the same package.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  return()
endif()
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                COMMAND_ERROR_IS_FATAL ANY)
