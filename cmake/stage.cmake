# Copies the plug-in DLL to where the installer takes it from and gives the copy a fixed
# modification time, because the installer stores the time of each file it carries: the
# same DLL then gives the same installer whenever and wherever it is built.
#   cmake -DSOURCE=... -DDESTINATION=... -P stage.cmake
# The time is SOURCE_DATE_EPOCH when set (seconds since 1970), else 2000-01-01 00:00 UTC.
set(epoch 946684800)
if("$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
endif()
file(COPY_FILE "${SOURCE}" "${DESTINATION}")
execute_process(COMMAND touch -d "@${epoch}" "${DESTINATION}" COMMAND_ERROR_IS_FATAL ANY)
