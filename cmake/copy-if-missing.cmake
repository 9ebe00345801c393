# cmake -DFROM=sample -DTO=file -P copy-if-missing.cmake
# Lays the sample wiring file beside the program only where none is: the file
# there is the user's own wiring, and a rebuild must never put the sample's
# pins in its place, however much newer the sample is.
if(NOT EXISTS "${TO}")
  file(COPY_FILE "${FROM}" "${TO}")
endif()
