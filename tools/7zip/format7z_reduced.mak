# Reduced 7z.dll: the 7z format handler, extract only, with the codecs the
# installer's payload uses (Copy, LZMA, LZMA2, BCJ x86, BCJ2) and 7zAES
# decryption (AES, SHA-256). About a quarter of the full Format7zF build,
# so it compiles in about a minute per architecture on two cores.
#
# Run it from an unpacked 7-Zip source tree, in the directory of the
# upstream extract-only bundle, so that the upstream rules (7zip_gcc.mak)
# and the bundle's resource.rc resolve their relative paths:
#
#   make -C <src>/CPP/7zip/Bundles/Format7zExtract -f format7z_reduced.mak \
#     IS_MINGW=1 MSYSTEM=1 O=<objdir> CC=... CXX=... RC=... [IS_X64=1]
#
# The exports are the usual ones of a format library (Archive2.def), so a
# host sees the same entry points as in the full 7z.dll.

PROG = 7z
DEF_FILE = ../../Archive/Archive2.def

LOCAL_FLAGS = -DZ7_EXTRACT_ONLY

SYS_OBJS = \
  $O/resource.o \

COMMON_OBJS = \
  $O/CRC.o \
  $O/CrcReg.o \
  $O/IntToString.o \
  $O/MyString.o \
  $O/MyVector.o \
  $O/NewHandler.o \
  $O/Sha256Prepare.o \
  $O/Sha256Reg.o \
  $O/StringConvert.o \
  $O/StringToInt.o \
  $O/Wildcard.o \

WIN_OBJS = \
  $O/PropVariant.o \
  $O/Synchronization.o \
  $O/System.o \

7ZIP_COMMON_OBJS = \
  $O/CreateCoder.o \
  $O/CWrappers.o \
  $O/FilterCoder.o \
  $O/InBuffer.o \
  $O/LimitedStreams.o \
  $O/MethodId.o \
  $O/MethodProps.o \
  $O/OutBuffer.o \
  $O/ProgressUtils.o \
  $O/PropId.o \
  $O/StreamBinder.o \
  $O/StreamObjects.o \
  $O/StreamUtils.o \
  $O/VirtThread.o \

AR_OBJS = \
  $O/ArchiveExports.o \
  $O/DllExports2.o \

AR_COMMON_OBJS = \
  $O/CoderMixer2.o \
  $O/HandlerOut.o \
  $O/ItemNameUtils.o \
  $O/OutStreamWithCRC.o \
  $O/ParseProperties.o \

7Z_OBJS = \
  $O/7zCompressionMode.o \
  $O/7zDecode.o \
  $O/7zExtract.o \
  $O/7zHandler.o \
  $O/7zHeader.o \
  $O/7zIn.o \
  $O/7zProperties.o \
  $O/7zRegister.o \

COMPRESS_OBJS = \
  $O/CodecExports.o \
  $O/Bcj2Coder.o \
  $O/Bcj2Register.o \
  $O/BcjCoder.o \
  $O/BcjRegister.o \
  $O/CopyCoder.o \
  $O/CopyRegister.o \
  $O/Lzma2Decoder.o \
  $O/Lzma2Register.o \
  $O/LzmaDecoder.o \
  $O/LzmaRegister.o \

CRYPTO_OBJS = \
  $O/7zAes.o \
  $O/7zAesRegister.o \
  $O/MyAes.o \
  $O/MyAesReg.o \

C_OBJS = \
  $O/7zCrc.o \
  $O/7zCrcOpt.o \
  $O/7zStream.o \
  $O/Aes.o \
  $O/AesOpt.o \
  $O/Alloc.o \
  $O/Bcj2.o \
  $O/Bra86.o \
  $O/CpuArch.o \
  $O/Lzma2Dec.o \
  $O/Lzma2DecMt.o \
  $O/LzmaDec.o \
  $O/MtDec.o \
  $O/Sha256.o \
  $O/Sha256Opt.o \
  $O/Threads.o \

OBJS = \
  $(C_OBJS) \
  $(COMMON_OBJS) \
  $(WIN_OBJS) \
  $(7ZIP_COMMON_OBJS) \
  $(AR_OBJS) \
  $(AR_COMMON_OBJS) \
  $(7Z_OBJS) \
  $(COMPRESS_OBJS) \
  $(CRYPTO_OBJS) \
  $(SYS_OBJS) \

include ../../7zip_gcc.mak
