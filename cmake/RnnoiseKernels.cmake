# Orvane::rnnoise: the RNNoise archive with our network kernels in place of its
# own.
#
# All of the network's arithmetic goes through two functions defined in the
# archive's member nnet_default.o (rnn_compute_linear_c and
# rnn_compute_activation_c). Every target that links Orvane::rnnoise gets our
# definitions (src/denoiser/nnet_kernels*.c) as object files on its link line,
# ahead of the archive, so the linker never takes that member, and
# rnnoise_process_frame and orvane_analyze both run our kernels. Should the
# member ever be taken all the same (a target linking the archive another way,
# the objects ending up behind it), the linker script below stops the link.
#
# Included from the top-level CMakeLists.txt after the global compile options.

add_library(orv_nnet_kernels OBJECT
  ${PROJECT_SOURCE_DIR}/src/denoiser/nnet_kernels.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/nnet_kernels_avx2.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/fft_kernels.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/fft_kernels_avx2.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/pitch_kernels.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/pitch_kernels_avx2.c)
# Only these files may use AVX2; they run only where the processor has it.
set_source_files_properties(${PROJECT_SOURCE_DIR}/src/denoiser/nnet_kernels_avx2.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/fft_kernels_avx2.c
  ${PROJECT_SOURCE_DIR}/src/denoiser/pitch_kernels_avx2.c
  PROPERTIES COMPILE_OPTIONS -mavx2)
target_link_libraries(orv_nnet_kernels PRIVATE orv_rnnoise_archive orv_warnings)

# Object files named in target_link_libraries go on the link line of every
# binary that links this, ahead of all libraries, even through static
# libraries that link it privately; they are never archived into those.
add_library(orv_rnnoise INTERFACE)
target_link_libraries(orv_rnnoise INTERFACE
  $<TARGET_OBJECTS:orv_nnet_kernels> orv_rnnoise_archive
  "${PROJECT_SOURCE_DIR}/cmake/rnnoise_kernels.ld")
# CMake orders the object library before such links only for direct users; the
# dependency on the interface library reaches every binary that links it.
add_dependencies(orv_rnnoise orv_nnet_kernels)
add_library(Orvane::rnnoise ALIAS orv_rnnoise)

# For tests only: the archive's own nnet_default.o, kiss_fft.o and pitch.o
# (with celt_lpc.o, whose autocorrelation calls the pitch correlation),
# extracted at build time (never committed) with their functions renamed so
# that they can be linked beside ours and compared with them:
# rnn_compute_linear_c and rnn_compute_activation_c become orv_reference_linear
# and orv_reference_activation, every other rnn_ prefix orv_reference_
# (orv_reference_fft_c, orv_reference_pitch_xcorr, ...). Adds them to the
# target's sources.
function(orv_add_nnet_reference target)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/nnet_reference")
  file(MAKE_DIRECTORY "${dir}")
  set(fft_renames --redefine-sym rnn_ifft_c=orv_reference_ifft_c)
  foreach(name alloc alloc_arch_c alloc_twiddles c free free_arch_c impl)
    list(APPEND fft_renames --redefine-sym rnn_fft_${name}=orv_reference_fft_${name})
  endforeach()
  set(pitch_renames)
  foreach(name pitch_xcorr pitch_downsample pitch_search remove_doubling autocorr lpc)
    list(APPEND pitch_renames --redefine-sym rnn_${name}=orv_reference_${name})
  endforeach()
  set(outputs nnet_reference.o fft_reference.o pitch_reference.o lpc_reference.o)
  list(TRANSFORM outputs PREPEND "${dir}/")
  add_custom_command(OUTPUT ${outputs}
    COMMAND "${CMAKE_AR}" x "${ORV_RNNOISE_ARCHIVE}" nnet_default.o kiss_fft.o pitch.o celt_lpc.o
    COMMAND "${CMAKE_OBJCOPY}"
      --redefine-sym rnn_compute_linear_c=orv_reference_linear
      --redefine-sym rnn_compute_activation_c=orv_reference_activation
      --redefine-sym rnn_compute_conv2d_c=orv_reference_conv2d
      nnet_default.o nnet_reference.o
    COMMAND "${CMAKE_OBJCOPY}" ${fft_renames} kiss_fft.o fft_reference.o
    COMMAND "${CMAKE_OBJCOPY}" ${pitch_renames} pitch.o pitch_reference.o
    COMMAND "${CMAKE_OBJCOPY}" ${pitch_renames} celt_lpc.o lpc_reference.o
    WORKING_DIRECTORY "${dir}"
    DEPENDS "${ORV_RNNOISE_ARCHIVE}"
    COMMENT "Extracting RNNoise's own network kernels, FFT and pitch analysis as a test reference"
    VERBATIM)
  target_sources(${target} PRIVATE ${outputs})
endfunction()
