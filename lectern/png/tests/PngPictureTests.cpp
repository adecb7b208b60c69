// The PNG picture: chunks, errors, image data coding, pixel access and blending, on files made
// by hand and on the committed fixtures (made by independent producers).
#include "PngTestEnvironment.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

using namespace pngtest;

namespace {

// A 2x2 8-bit RGB image and its rows.
const std::string kRgbRows = UnfilteredRows({std::string("\x10\x20\x30\x40\x50\x60", 6),
                                             std::string("\x70\x80\x90\xA0\xB0\xC0", 6)});

PngBuilder SmallRgb()
{
    PngBuilder b;
    b.Header(2, 2, 8, 2);
    return b;
}

std::string SmallRgbFile()
{
    return SmallRgb().Chunk("IDAT", Deflate(kRgbRows)).End().Data();
}

// The same image interlaced: the pass rows of its pixels (passes 1, 6 and 7: the pixels (0, 0)
// and (1, 0), then the second row).
const std::string kRgbInterlacedRows = UnfilteredRows({std::string("\x10\x20\x30", 3), std::string("\x40\x50\x60", 3),
                                                       std::string("\x70\x80\x90\xA0\xB0\xC0", 6)});

PngBuilder SmallRgbInterlaced()
{
    PngBuilder b;
    b.Header(2, 2, 8, 2, 1);
    return b;
}

// rows with the filter byte at offset at set to filter.
std::string WithFilter(std::string rows, size_t at, uint8_t filter)
{
    rows[at] = char(filter);
    return rows;
}

// Saving picture raises EPngError for a text keyword the format forbids, before it writes a byte.
void ExpectSaveRefused(TPngPicture& picture, TMemoryStream& stream)
{
    try {
        picture.SaveToStream(stream);
        ADD_FAILURE() << "saved";
    } catch (const EPngError& e) {
        EXPECT_EQ(e.Message(), EPNGInvalidKeywordText);
    }
    EXPECT_EQ(stream.Size(), 0);
}

const std::string kEndsEarly = std::string(EPNGZLIBErrorText) + "the image data ends before its last row";

// ---- errors --------------------------------------------------------------------------------

struct ErrorCase {
    const char* Name;
    std::function<std::string()> Bytes;
    const char* ClassName;
    std::string Message;
};

TEST(PngPicture, BrokenFilesRaiseTheirErrorsWithTheirMessages)
{
    const std::string zlibHalf = Deflate(kRgbRows).substr(0, 6);
    const std::string presetDictionary = std::string("\x78\xBB\x00\x00\x00\x01", 6) + "rest";
    const ErrorCase cases[] = {
        {"not a PNG", [] { return std::string("GIF89a-and-more"); }, "EPNGInvalidFileHeader", EPNGInvalidFileHeaderText},
        {"ends after the signature", [] { return PngBuilder().Data(); }, "EPngUnexpectedEnd", EPngUnexpectedEndText},
        {"first chunk not the header", [] { return PngBuilder().Chunk("gAMA", BE32(45455)).Data(); },
         "EPNGIHDRNotFirst", EPNGIHDRNotFirstText},
        {"unknown critical chunk", [] { return SmallRgb().Chunk("ABCD", "x").Data(); },
         "EPNGUnknownCriticalChunk", EPNGUnknownCriticalChunkText},
        {"no image data", [] { return SmallRgb().End().Data(); }, "EPNGNoImageData", EPNGNoImageDataText},
        {"bad header CRC", [] { return PngBuilder().ChunkWithCrc("IHDR", std::string(13, '\1'), 1).Data(); },
         "EPngInvalidCRC", EPngInvalidCRCText},
        {"bad image data CRC",
         [] { return SmallRgb().ChunkWithCrc("IDAT", Deflate(kRgbRows), 7).End().Data(); }, "EPngInvalidCRC",
         EPngInvalidCRCText},
        {"length past the end", [] { return SmallRgb().RawChunk(1000, "tEXt", "abc").Data(); },
         "EPngUnexpectedEnd", EPngUnexpectedEndText},
        {"length beyond 2^31-1", [] { return SmallRgb().RawChunk(0x80000000u, "IDAT", "abcd").Data(); },
         "EPngUnexpectedEnd", EPngUnexpectedEndText},
        {"truncated image data", [] { return SmallRgbFile().substr(0, 50); }, "EPngUnexpectedEnd",
         EPngUnexpectedEndText},
        {"short header", [] { return PngBuilder().Chunk("IHDR", std::string(12, '\1')).Data(); },
         "EPngInvalidIHDR", EPngInvalidIHDRText},
        {"65536 wide", [] { return PngBuilder().Header(65536, 1, 8, 2).Data(); }, "EPNGSizeExceeds",
         EPNGSizeExceedsText},
        {"compression 1", [] { return PngBuilder().Header(1, 1, 8, 2, 0, 1).Data(); },
         "EPNGUnknownCompression", EPNGUnknownCompressionText},
        {"interlace 2", [] { return PngBuilder().Header(1, 1, 8, 2, 2).Data(); }, "EPNGUnknownInterlace",
         EPNGUnknownInterlaceText},
        {"zero width", [] { return PngBuilder().Header(0, 5, 8, 2).Data(); }, "EPngInvalidIHDR", EPngInvalidIHDRText},
        {"RGB with 4 bits", [] { return PngBuilder().Header(4, 4, 4, 2).Data(); }, "EPngInvalidIHDR",
         EPngInvalidIHDRText},
        {"colour type 5", [] { return PngBuilder().Header(4, 4, 8, 5).Data(); }, "EPngInvalidIHDR", EPngInvalidIHDRText},
        {"a second header", [] { return SmallRgb().Header(2, 2, 8, 2, 1).Chunk("IDAT", Deflate(kRgbRows)).End().Data(); },
         "EPngInvalidIHDR", EPngInvalidIHDRText},
        {"image bytes beyond 2^31-1", [] { return PngBuilder().Header(65535, 65535, 8, 6).Data(); },
         "EPNGSizeExceeds", EPNGSizeExceedsText},
        {"palette of 770 bytes",
         [] { return PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", std::string(770, '\0')).Data(); },
         "EPNGInvalidPalette", EPNGInvalidPaletteText},
        {"transparency of 257 bytes",
         [] {
             return PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", std::string(3, '\0'))
                 .Chunk("tRNS", std::string(257, '\0')).Data();
         },
         "EPNGInvalidPalette", EPNGInvalidPaletteText},
        {"end chunk amid the image data",
         [&] { return SmallRgb().Chunk("IDAT", zlibHalf).End().Data(); }, "EPNGMissingMultipleIDAT",
         EPNGMissingMultipleIDATText},
        {"invalid compressed data", [] { return SmallRgb().Chunk("IDAT", std::string("\x00\x00garbage", 9)).End().Data(); },
         "EPNGZLIBError", std::string(EPNGZLIBErrorText) + "data error"},
        {"stream wanting a preset dictionary", [&] { return SmallRgb().Chunk("IDAT", presetDictionary).End().Data(); },
         "EPNGZLIBError", std::string(EPNGZLIBErrorText) + "need dictionary"},
        {"image data of the first row alone", [] { return SmallRgb().Chunk("IDAT", Deflate(kRgbRows.substr(0, 7))).End().Data(); },
         "EPNGZLIBError", kEndsEarly},
        {"image data of 4 bytes", [] { return SmallRgb().Chunk("IDAT", Deflate(kRgbRows.substr(0, 4))).End().Data(); },
         "EPNGZLIBError", kEndsEarly},
        {"no image data in the stream", [] { return SmallRgb().Chunk("IDAT", Deflate("")).End().Data(); },
         "EPNGZLIBError", kEndsEarly},
        {"image data ending a byte early", [] { return SmallRgb().Chunk("IDAT", Deflate(kRgbRows.substr(0, 13))).End().Data(); },
         "EPNGZLIBError", kEndsEarly},
        {"interlaced image data ending in the last pass",
         [] { return SmallRgbInterlaced().Chunk("IDAT", Deflate(kRgbInterlacedRows.substr(0, 14))).End().Data(); },
         "EPNGZLIBError", kEndsEarly},
        {"row filter 9", [] { return SmallRgb().Chunk("IDAT", Deflate(WithFilter(kRgbRows, 7, 9))).End().Data(); },
         "EPNGZLIBError", std::string(EPNGZLIBErrorText) + "unknown row filter 9"},
        {"row filter 255 in the first row",
         [] { return SmallRgb().Chunk("IDAT", Deflate(WithFilter(kRgbRows, 0, 255))).End().Data(); }, "EPNGZLIBError",
         std::string(EPNGZLIBErrorText) + "unknown row filter 255"},
        {"row filter 5 in an interlaced pass",
         [] { return SmallRgbInterlaced().Chunk("IDAT", Deflate(WithFilter(kRgbInterlacedRows, 4, 5))).End().Data(); },
         "EPNGZLIBError", std::string(EPNGZLIBErrorText) + "unknown row filter 5"},
    };
    for (const ErrorCase& c : cases) {
        TPngPicture picture;
        try {
            LoadPng(picture, c.Bytes());
            ADD_FAILURE() << c.Name << ": loaded";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.ClassName(), c.ClassName) << c.Name;
            EXPECT_EQ(e.Message(), c.Message) << c.Name;
        }
    }
}

TEST(PngPicture, ARefusedHeaderLeavesAPictureWithoutPixels)
{
    // The header is checked before it is taken: after the error the picture keeps the header
    // chunk (chunks read so far stay) but it describes no image, so nothing reaches for pixels
    // that were never allocated.
    const std::string refused[] = {
        PngBuilder().Header(65536, 3, 8, 2).Data(),        PngBuilder().Header(3, 3, 8, 2, 0, 1).Data(),
        PngBuilder().Header(3, 3, 8, 2, 2).Data(),         PngBuilder().Header(3, 0, 8, 2).Data(),
        PngBuilder().Header(3, 3, 4, 2).Data(),            PngBuilder().Header(3, 3, 8, 5).Data(),
        PngBuilder().Header(65535, 65535, 8, 6).Data(),
    };
    for (const std::string& bytes : refused) {
        TPngPicture picture;
        EXPECT_ANY_THROW(LoadPng(picture, bytes));
        ASSERT_TRUE(picture.HeaderPresent());
        EXPECT_EQ(picture.Width(), 0);
        EXPECT_EQ(picture.Height(), 0);
        EXPECT_EQ(picture.GetPixels(1, 1), 0u);
        picture.SetPixels(1, 1, 0xFFFFFF);
        EXPECT_EQ(picture.Scanline(1), nullptr);
        EXPECT_EQ(picture.AlphaScanline(1), nullptr);
    }
}

#ifdef _WIN32
TEST(PngPicture, AnImageTooLargeForTheAddressSpaceRaisesOutOfMemory)
{
    // 46000 x 46000 grey is within the limit of the image bytes but not within the 2 GB of a
    // 32-bit process: the allocation fails and is reported, the picture stays usable.
    TPngPicture picture;
    try {
        LoadPng(picture, PngBuilder().Header(46000, 46000, 8, 0).Data());
        ADD_FAILURE() << "loaded";
    } catch (const EPNGOutMemory& e) {
        EXPECT_EQ(e.Message(), EPNGOutMemoryText);
    }
    LoadPng(picture, SmallRgbFile());
    EXPECT_EQ(picture.Width(), 2);
}

TEST(PngPicture, LoadsFromAResourceOfTheProgram)
{
    TResourceStream resource("PNGFIXTURE");
    TPngPicture picture;
    picture.LoadFromStream(resource);
    TPngPicture fromFile;
    LoadPng(fromFile, FixtureBytes("pil-p-trns-partial.png"));
    EXPECT_EQ(RgbaPixels(picture), RgbaPixels(fromFile));
}
#endif

TEST(PngPicture, OperationsWithoutAHeaderOrOnTheWrongChunkRaise)
{
    TPngPicture picture;
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_TRUE(picture.Empty());
    EXPECT_THROW(picture.Header(), EPNGHeaderNotPresent);
    EXPECT_THROW(picture.Scanline(0), EPNGHeaderNotPresent);
    EXPECT_THROW(picture.GetPixels(0, 0), EPNGHeaderNotPresent);
    try {
        picture.SetWidth(5);
        ADD_FAILURE();
    } catch (const EPngError& e) {
        EXPECT_EQ(e.Message(), EPNGCannotChangeSizeText);
    }
    TChunkIEND end(&picture);
    TChunkIHDR header(&picture);
    try {
        header.Assign(end);
        ADD_FAILURE();
    } catch (const EPngError& e) {
        EXPECT_EQ(e.Message(), EPNGCannotAssignChunkText);
    }
    LoadPng(picture, FixtureBytes("im-p2.png"));
    const TChunkPLTE* palette = picture.Chunks().ItemFromClass<TChunkPLTE>();
    ASSERT_NE(palette, nullptr);
    EXPECT_NO_THROW(palette->GetPaletteEntry(0));
    EXPECT_THROW(palette->GetPaletteEntry(palette->Count), EPngError);
}

// ---- chunks -----------------------------------------------------------------------------------

TEST(PngPicture, ChromaticityIsSkippedAndUnknownAncillaryChunksAreKept)
{
    TPngPicture picture;
    LoadPng(picture, SmallRgb().Chunk("cHRM", std::string(32, '\0')).Chunk("pHYs", "123456789")
                         .Chunk("IDAT", Deflate(kRgbRows)).Chunk("cHRM", std::string(32, '\0')).End().Data());
    std::vector<std::string> names;
    for (int i = 0; i < picture.Chunks().Count(); ++i) {
        names.push_back(picture.Chunks().GetItem(i)->Name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "pHYs", "IDAT", "IEND"}));
    const TChunk* phys = picture.Chunks().GetItem(1);
    EXPECT_STREQ(phys->ClassName(), "TChunk");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(phys->Data()), phys->DataSize()), "123456789");
    // Saved again as it came (the skipped chunks are gone).
    TPngPicture again;
    LoadPng(again, SavePng(picture));
    EXPECT_EQ(again.Chunks().GetItem(1)->Name(), "pHYs");
    EXPECT_EQ(RgbaPixels(again), RgbaPixels(picture));
}

TEST(PngPicture, TimeChunkIsReadAndWrittenAgain)
{
    const std::string stamp("\x07\xEA\x0C\x0A\x0E\x1E\x05", 7);  // 2026-12-10 14:30:05
    TPngPicture picture;
    LoadPng(picture, SmallRgb().Chunk("tIME", stamp).Chunk("IDAT", Deflate(kRgbRows)).End().Data());
    const TChunktIME* time = picture.Chunks().ItemFromClass<TChunktIME>();
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->Year, 2026);
    EXPECT_EQ(time->Month, 12);
    EXPECT_EQ(time->Day, 10);
    EXPECT_EQ(time->Hour, 14);
    EXPECT_EQ(time->Minute, 30);
    EXPECT_EQ(time->Second, 5);
    EXPECT_EQ(SplitChunks(SavePng(picture))[1], (std::pair<std::string, std::string>{"tIME", stamp}));
}

TEST(PngPicture, TextChunksStayInsideTheirDataAndCompressedTextIsCapped)
{
    const std::string bomb = Deflate(std::string(kPngTextInflateLimitBytes + 1, 'a'), 9);
    TPngPicture picture;
    LoadPng(picture, SmallRgb().Chunk("tEXt", "no-separator-here").Chunk("zTXt", std::string("Big\0\0", 5) + bomb)
                         .Chunk("zTXt", std::string("Short\0\0", 7) + Deflate("fine"))
                         .Chunk("IDAT", Deflate(kRgbRows)).End().Data());
    auto* text = dynamic_cast<TChunktEXt*>(picture.Chunks().GetItem(1));
    auto* big = dynamic_cast<TChunkzTXt*>(picture.Chunks().GetItem(2));
    auto* shortText = dynamic_cast<TChunkzTXt*>(picture.Chunks().GetItem(3));
    ASSERT_TRUE(text && big && shortText);
    EXPECT_EQ(text->Keyword, "no-separator-here");
    EXPECT_EQ(text->Text, "");
    EXPECT_EQ(big->Keyword, "Big");
    EXPECT_EQ(big->Text, "");
    EXPECT_EQ(shortText->Text, "fine");

    // Pillow's compressed comment is longer than one 256-byte step of the inflater.
    LoadPng(picture, FixtureBytes("pil-ztxt.png"));
    const auto* title = picture.Chunks().ItemFromClass<TChunktEXt>();
    const auto* comment = picture.Chunks().ItemFromClass<TChunkzTXt>();
    ASSERT_TRUE(title && comment);
    std::string expected;
    for (int i = 0; i < 60; ++i) {
        expected += "compressed ";
    }
    EXPECT_EQ(title->Keyword, "Title");
    EXPECT_EQ(title->Text, "A picture with text");
    EXPECT_EQ(comment->Keyword, "Comment");
    EXPECT_EQ(comment->Text, expected);

    TPngPicture again;
    LoadPng(again, SavePng(picture));
    ASSERT_NE(again.Chunks().ItemFromClass<TChunkzTXt>(), nullptr);
    EXPECT_EQ(again.Chunks().ItemFromClass<TChunkzTXt>()->Text, expected);
}

TEST(PngPicture, TextChunksThatWereReadAreSavedAsTheyCame)
{
    const std::pair<std::string, std::string> chunks[] = {
        {"tEXt", std::string("a\0", 2)},                        // a keyword and empty text
        {"tEXt", std::string(79, 'k') + std::string("\0text", 5)},   // the longest keyword
        {"zTXt", std::string("k\0\1", 3) + "xyz"},              // an unknown compression method
        {"zTXt", std::string("k\0\0", 3) + "not a zlib stream"},
        {"zTXt", std::string("k\0\0", 3) + Deflate("fine", 1)},
    };
    for (const auto& chunk : chunks) {
        TPngPicture picture;
        LoadPng(picture, SmallRgb().Chunk(chunk.first, chunk.second).Chunk("IDAT", Deflate(kRgbRows)).End().Data());
        EXPECT_EQ(SplitChunks(SavePng(picture))[1], chunk) << chunk.first << " " << chunk.second;
        // A copy keeps them as they came too.
        TPngPicture copy;
        copy.Assign(&picture);
        EXPECT_EQ(SplitChunks(SavePng(copy))[1], chunk) << chunk.first << " " << chunk.second;
    }
    TPngPicture picture;
    LoadPng(picture, SmallRgb().Chunk("tEXt", std::string("a\0", 2)).Chunk("zTXt", std::string("k\0\1xyz", 6))
                         .Chunk("IDAT", Deflate(kRgbRows)).End().Data());
    auto* text = dynamic_cast<TChunktEXt*>(picture.Chunks().GetItem(1));
    auto* packed = dynamic_cast<TChunkzTXt*>(picture.Chunks().GetItem(2));
    ASSERT_TRUE(text && packed);
    EXPECT_EQ(text->Keyword, "a");
    EXPECT_EQ(text->Text, "");
    EXPECT_EQ(packed->Keyword, "k");
    // A text the program changed is written anew.
    text->Text = "new";
    packed->Text = "packed";
    const auto saved = SplitChunks(SavePng(picture));
    EXPECT_EQ(saved[1].second, std::string("a\0new", 5));
    EXPECT_EQ(saved[2].second.substr(0, 3), std::string("k\0\0", 3));
    EXPECT_EQ(Inflate(saved[2].second.substr(3)), "packed");
}

TEST(PngPicture, GammaMapsColoursAndAChunkOfTheWrongSizeIsIgnored)
{
    const std::string rows = UnfilteredRows({std::string("\x80\x40\xFF", 3)});
    PngBuilder withGamma;
    withGamma.Header(1, 1, 8, 2).Chunk("gAMA", BE32(100000)).Chunk("IDAT", Deflate(rows)).End();
    TPngPicture picture;
    LoadPng(picture, withGamma.Data());
    EXPECT_EQ(picture.GetPixels(0, 0), 186 | 136 << 8 | 255 << 16);
    // Saved through the inverse table, the colour decodes the same again.
    TPngPicture again;
    LoadPng(again, SavePng(picture));
    EXPECT_EQ(again.GetPixels(0, 0), 186 | 136 << 8 | 255 << 16);

    // Palette colours are mapped once, when the palette is read: a pixel reads as it is drawn.
    TPngPicture palette;
    LoadPng(palette, PngBuilder().Header(1, 1, 8, 3).Chunk("gAMA", BE32(100000)).Chunk("PLTE", "\x80\x40\xFF")
                         .Chunk("IDAT", Deflate(std::string("\0\0", 2))).End().Data());
    EXPECT_EQ(palette.GetPixels(0, 0), 186 | 136 << 8 | 255 << 16);

    PngBuilder wrongSize;
    wrongSize.Header(1, 1, 8, 2).Chunk("gAMA", std::string("\0\1\x86", 3)).Chunk("IDAT", Deflate(rows)).End();
    LoadPng(picture, wrongSize.Data());
    EXPECT_EQ(picture.GetPixels(0, 0), 0x80 | 0x40 << 8 | 0xFF << 16);
}

TEST(PngPicture, PaletteTransparencyIsBitOnlyForOneFullyTransparentEntry)
{
    struct Case {
        std::string Values;
        TPNGTransparencyMode Mode;
    } cases[] = {
        {std::string("\xFF\x00\xFF", 3), TPNGTransparencyMode::ptmBit},
        {std::string("\xFF\x80", 2), TPNGTransparencyMode::ptmPartial},
        {std::string("\x00\x00", 2), TPNGTransparencyMode::ptmPartial},
        {std::string("\xFF\xFF", 2), TPNGTransparencyMode::ptmPartial},
    };
    const std::string palette("\xFF\0\0\0\xFF\0\0\0\xFF", 9);
    for (const Case& c : cases) {
        TPngPicture picture;
        LoadPng(picture, PngBuilder().Header(1, 1, 8, 3).Chunk("PLTE", palette).Chunk("tRNS", c.Values)
                             .Chunk("IDAT", Deflate(std::string("\0\1", 2))).End().Data());
        EXPECT_EQ(picture.TransparencyMode(), c.Mode) << int(c.Values[1]);
        EXPECT_TRUE(picture.Transparent());
        EXPECT_EQ(picture.AlphaScanline(0), nullptr);
    }
}

TEST(PngPicture, TheColourKeyIsDecidedOnTheStoredSamples)
{
    for (const TColourKeyCase& c : ColourKeyCases()) {
        TPngPicture picture;
        LoadPng(picture, c.Png);
        ASSERT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmBit) << c.Name;
        const std::vector<uint8_t> rgba = RgbaPixels(picture);
        std::vector<bool> transparent;
        for (size_t i = 3; i < rgba.size(); i += 4) {
            transparent.push_back(rgba[i] == 0);
        }
        EXPECT_EQ(transparent, c.Transparent) << c.Name;
    }
    // Pixels set afterwards follow the key; a key given as a colour is compared with colours.
    TPngPicture picture;
    LoadPng(picture, ColourKeyCases()[1].Png);   // key white, pixels 254 grey, white, black
    picture.SetPixels(0, 0, 0xFFFFFF);
    picture.SetPixels(1, 0, 0x000000);
    EXPECT_TRUE(picture.Header()->KeyedPixel(0, 0));
    EXPECT_FALSE(picture.Header()->KeyedPixel(1, 0));
    picture.Chunks().ItemFromClass<TChunktRNS>()->SetTransparentColor(0x000000);
    EXPECT_TRUE(picture.Header()->KeyMask.empty());
    const std::vector<uint8_t> rgba = RgbaPixels(picture);
    EXPECT_EQ(std::vector<uint8_t>({rgba[3], rgba[7], rgba[11]}), std::vector<uint8_t>({255, 0, 0}));
}

TEST(PngPicture, TransparentColoursAreOnTheScaleOfTheDecodedPixels)
{
    TPngPicture picture;
    LoadPng(picture, FixtureBytes("im-g8.png"));
    auto* trns = static_cast<TChunktRNS*>(picture.Chunks().Add(std::make_unique<TChunktRNS>(&picture)));
    trns->SetTransparentColor(200 | 7 << 8 | 9 << 16);
    EXPECT_EQ(picture.TransparentColor(), 0xC8C8C8);
    EXPECT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmBit);

    // 16-bit samples: the high byte, as the pixels are reduced.
    LoadPng(picture, PngBuilder().Header(1, 1, 16, 0).Chunk("tRNS", std::string("\x12\x34", 2))
                         .Chunk("IDAT", Deflate(std::string("\0\x12\x34", 3))).End().Data());
    EXPECT_EQ(picture.TransparentColor(), 0x121212);
    EXPECT_EQ(RgbaPixels(picture)[3], 0);
    // Saved, the sample is the one the pixel is written with, so the pixel stays transparent.
    const std::string saved = SavePng(picture);
    EXPECT_EQ(SplitChunks(saved)[1], (std::pair<std::string, std::string>{"tRNS", std::string("\x12\0", 2)}));
    TPngPicture again;
    LoadPng(again, saved);
    EXPECT_EQ(RgbaPixels(again)[3], 0);
}

// A keyword has 1 to 79 bytes, and a zero byte ends it: a text chunk with any other is refused
// when the picture is saved (nothing is written), whether the program set it or it was read so
// (reading takes it).
TEST(PngPicture, TextKeywordsTheFormatForbidsAreRefusedOnSave)
{
    const std::string tooLong(80, 'k');
    const std::pair<std::string, std::string> read[] = {
        {"tEXt", ""},
        {"tEXt", "no-separator"},
        {"tEXt", std::string("\0text", 5)},
        {"tEXt", tooLong + std::string("\0text", 5)},
        {"zTXt", std::string("\0\0", 2) + Deflate("text")},
        {"zTXt", tooLong + std::string("\0\0", 2) + Deflate("text")},
        {"zTXt", "no-separator"},
    };
    for (const auto& [type, data] : read) {
        SCOPED_TRACE(type + " " + data.substr(0, 20));
        TPngPicture picture;
        LoadPng(picture, SmallRgb().Chunk(type, data).Chunk("IDAT", Deflate(kRgbRows)).End().Data());
        ASSERT_NE(picture.Chunks().ItemFromClass<TChunktEXt>(), nullptr);
        TMemoryStream saved;
        ExpectSaveRefused(picture, saved);
    }
    const std::string set[] = {"", tooLong, std::string("a\0b", 3)};
    for (const bool packed : {false, true}) {
        for (const std::string& keyword : set) {
            SCOPED_TRACE(std::string(packed ? "zTXt" : "tEXt") + " keyword of " + std::to_string(keyword.size()));
            TPngPicture picture;
            LoadPng(picture, SmallRgbFile());
            std::unique_ptr<TChunk> made = packed ? std::unique_ptr<TChunk>(std::make_unique<TChunkzTXt>(&picture))
                                                  : std::unique_ptr<TChunk>(std::make_unique<TChunktEXt>(&picture));
            auto& text = static_cast<TChunktEXt&>(*made);
            text.Keyword = keyword;
            text.Text = "text";
            picture.Chunks().Add(std::move(made));
            TMemoryStream saved;
            ExpectSaveRefused(picture, saved);
            // A keyword the format allows is saved.
            text.Keyword = std::string(79, 'k');
            EXPECT_NO_THROW(picture.SaveToStream(saved));
        }
    }
}

// ---- image data -------------------------------------------------------------------------------

TEST(PngPicture, ImageDataSplitOverManyChunksDecodesAsOne)
{
    const std::string z = Deflate(kRgbRows);
    PngBuilder split = SmallRgb();
    split.Chunk("IDAT", "");
    for (size_t i = 0; i < z.size(); i += 3) {
        split.Chunk("IDAT", z.substr(i, 3)).Chunk("IDAT", "");
    }
    split.End();
    TPngPicture one, many;
    LoadPng(one, SmallRgbFile());
    LoadPng(many, split.Data());
    EXPECT_EQ(RgbaPixels(many), RgbaPixels(one));
    EXPECT_EQ(one.GetPixels(1, 1), 0xA0 | 0xB0 << 8 | 0xC0 << 16);
    EXPECT_EQ(many.Chunks().Count(), 3);  // header, image data, end
}

TEST(PngPicture, BytesAfterTheCompressedStreamAreRead)
{
    TPngPicture picture;
    LoadPng(picture, SmallRgb().Chunk("IDAT", Deflate(kRgbRows) + "tail").End().Data());
    EXPECT_EQ(picture.GetPixels(0, 0), 0x10 | 0x20 << 8 | 0x30 << 16);
    LoadPng(picture, SmallRgbInterlaced().Chunk("IDAT", Deflate(kRgbInterlacedRows) + "tail").End().Data());
    EXPECT_EQ(picture.GetPixels(1, 0), 0x40 | 0x50 << 8 | 0x60 << 16);
    EXPECT_EQ(picture.GetPixels(1, 1), 0xA0 | 0xB0 << 8 | 0xC0 << 16);
}

TEST(PngPicture, AverageFilterAddsWithoutOverflow)
{
    // Second row, filter 3: the first byte adds 255 / 2, the second (255 + 255) / 2.
    const std::string rows = std::string("\0\xFF\xFF", 3) + std::string("\3\x80\0", 3);
    TPngPicture picture;
    LoadPng(picture, PngBuilder().Header(2, 2, 8, 0).Chunk("IDAT", Deflate(rows)).End().Data());
    EXPECT_EQ(picture.Scanline(1)[0], 255);
    EXPECT_EQ(picture.Scanline(1)[1], 255);
}

TEST(PngPicture, TwoBitGreyMapsOntoExactGreysPlainAndInterlaced)
{
    // 0, 1, 2, 3 in one row of 4 pixels.
    const std::string rows = UnfilteredRows({"\x1B"});
    for (uint8_t interlace : {0, 1}) {
        std::string data = rows;
        if (interlace) {
            // Passes with pixels: 1 (column 0), 2 (column 4: none), 4 (column 2), 6 (columns 1, 3).
            data = std::string("\0\x00", 2) + std::string("\0\x80", 2) + std::string("\0\x70", 2);
        }
        TPngPicture picture;
        LoadPng(picture, PngBuilder().Header(4, 1, 2, 0, interlace).Chunk("IDAT", Deflate(data)).End().Data());
        std::vector<uint32_t> greys;
        for (int x = 0; x < 4; ++x) {
            greys.push_back(uint32_t(picture.GetPixels(x, 0)) & 0xFF);
        }
        EXPECT_EQ(greys, (std::vector<uint32_t>{0, 85, 170, 255})) << int(interlace);
        // Written with 4 bits, and read back the same.
        const std::string saved = SavePng(picture);
        EXPECT_EQ(SplitChunks(saved)[0].second[8], 4);
        TPngPicture again;
        LoadPng(again, saved);
        EXPECT_EQ(RgbaPixels(again), RgbaPixels(picture));
    }
}

TEST(PngPicture, InterlacedImageOfWidthOneDecodes)
{
    // 1x3 grey: pass 1 has row 0, pass 6 is empty (starts at column 1), pass 7 has row 1.
    const std::string data = std::string("\0\x11", 2) + std::string("\0\x22", 2) + std::string("\0\x33", 2);
    TPngPicture picture;
    LoadPng(picture, PngBuilder().Header(1, 3, 8, 0, 1).Chunk("IDAT", Deflate(data)).End().Data());
    // Pass 5 (start row 2, column 0) holds row 2 and comes before pass 7.
    EXPECT_EQ(picture.Scanline(0)[0], 0x11);
    EXPECT_EQ(picture.Scanline(2)[0], 0x22);
    EXPECT_EQ(picture.Scanline(1)[0], 0x33);
}

TEST(PngPicture, FixturesSurviveSavingWithEveryFilterSetAndInterlace)
{
    ForEachSavedFixture([](const std::string& saved, const std::vector<uint8_t>& pixels, const std::string& label) {
        TPngPicture again;
        LoadPng(again, saved);
        EXPECT_EQ(RgbaPixels(again), pixels) << label;
    });
}

TEST(PngPicture, OnlyPaethAllowedWritesEveryRowWithPaeth)
{
    TPngPicture picture;
    LoadPng(picture, FixtureBytes("im-rgb8.png"));
    picture.Filters = FilterBit(pfPaeth);
    std::string compressed;
    for (const auto& [type, data] : SplitChunks(SavePng(picture))) {
        if (type == "IDAT") {
            compressed += data;
        }
    }
    const std::string rows = Inflate(compressed);
    const size_t rowBytes = 37 * 3 + 1;
    ASSERT_EQ(rows.size(), rowBytes * 23);
    for (size_t at = 0; at < rows.size(); at += rowBytes) {
        EXPECT_EQ(rows[at], 4) << at / rowBytes;
    }
}

TEST(PngPicture, LargeImagesAreWrittenInChunksOfAtMost65535Bytes)
{
    std::mt19937 random(5);
    const uint32_t width = 200, height = 200;
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < height; ++y) {
        std::string row(width * 3, '\0');
        for (char& c : row) {
            c = char(random());
        }
        rows.push_back(row);
    }
    TPngPicture picture;
    LoadPng(picture, PngBuilder().Header(width, height, 8, 2).Chunk("IDAT", Deflate(UnfilteredRows(rows))).End().Data());
    for (uint32_t maxIdat : {0u, 70000u}) {
        picture.SetMaxIdatSize(maxIdat);
        EXPECT_EQ(picture.MaxIdatSize(), maxIdat ? maxIdat : 65535u);
        const std::string saved = SavePng(picture);
        int idats = 0;
        for (const auto& [type, data] : SplitChunks(saved)) {
            if (type == "IDAT") {
                ++idats;
                EXPECT_LE(data.size(), 65535u);
            }
        }
        EXPECT_GE(idats, 2);
        TPngPicture again;
        LoadPng(again, saved);
        EXPECT_EQ(RgbaPixels(again), RgbaPixels(picture));
    }
}

// ---- pixels, blending, copies ------------------------------------------------------------------

TEST(PngPicture, PixelAccessByColourType)
{
    TPngPicture picture;
    LoadPng(picture, SmallRgbFile());
    EXPECT_EQ(picture.GetPixels(2, 0), 0);  // x = width
    EXPECT_EQ(picture.GetPixels(0, -1), 0);
    picture.SetPixels(1, 0, 0x112233);
    EXPECT_EQ(picture.GetPixels(1, 0), 0x112233);
    picture.SetPixels(2, 0, 0x445566);  // ignored
    EXPECT_EQ(picture.Scanline(0)[3], 0x11);  // blue first in the bitmap

    // Grey with alpha reads and writes as grey.
    LoadPng(picture, PngBuilder().Header(2, 1, 8, 4).Chunk("IDAT", Deflate(std::string("\0\x40\x10\x90\x20", 5)))
                         .End().Data());
    EXPECT_EQ(picture.GetPixels(0, 0), 0x404040);
    picture.SetPixels(1, 0, 0xC8C8C8);
    EXPECT_EQ(picture.GetPixels(1, 0), 0xC8C8C8);
    EXPECT_EQ(picture.AlphaScanline(0)[1], 0x20);

    // A 2-bit palette of four colours without black: black matches one of the four.
    const std::string palette("\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF", 12);
    LoadPng(picture, PngBuilder().Header(2, 1, 2, 3).Chunk("PLTE", palette)
                         .Chunk("IDAT", Deflate(std::string("\0\xD0", 2))).End().Data());
    EXPECT_EQ(picture.GetPixels(0, 0), 0xFFFFFF);
    EXPECT_EQ(picture.GetPixels(1, 0), 0x00FF00);
    picture.SetPixels(0, 0, 0x000000);
    EXPECT_EQ(picture.GetPixels(0, 0), 0x0000FF);  // red, the first of the nearest
    EXPECT_EQ(picture.GetPixels(1, 0), 0x00FF00);  // the neighbour's bits kept
    picture.SetPixels(1, 0, 0xFE0000);
    EXPECT_EQ(picture.GetPixels(1, 0), 0xFF0000);
}

TEST(PngPicture, BlendingFollowsTheFormulaPerPixel)
{
    // Source (200, 100, 50) with alpha 0, 128 and 255 over the target blue 30, green 20, red 10.
    TPngPicture picture;
    LoadPng(picture, PngBuilder().Header(3, 1, 8, 6)
                         .Chunk("IDAT", Deflate(std::string("\0\xC8\x64\x32\x00\xC8\x64\x32\x80\xC8\x64\x32\xFF", 13)))
                         .End().Data());
    std::vector<uint8_t> section = {30, 20, 10, 0, 30, 20, 10, 0, 30, 20, 10, 0};
    picture.BlendOnto(section.data(), 12);
    EXPECT_EQ(section, (std::vector<uint8_t>{30, 20, 10, 0, 40, 60, 105, 0, 50, 100, 200, 0}));

    // A palette image blends with its entries and their transparency values.
    LoadPng(picture, PngBuilder().Header(2, 1, 1, 3).Chunk("PLTE", std::string("\xC8\x64\x32\0\0\0", 6))
                         .Chunk("tRNS", std::string("\x80\xFF", 2)).Chunk("IDAT", Deflate(std::string("\0\x40", 2)))
                         .End().Data());
    section = {30, 20, 10, 0, 30, 20, 10, 0};
    picture.BlendOnto(section.data(), 8);
    EXPECT_EQ(section, (std::vector<uint8_t>{40, 60, 105, 0, 0, 0, 0, 0}));
}

TEST(PngPicture, AssignCopiesChunksSettingsAndPixels)
{
    TPngPicture source;
    LoadPng(source, FixtureBytes("pil-p-trns-partial.png"));
    source.CompressionLevel = 3;
    source.Filters = kAllFilters;
    TPngPicture copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.CompressionLevel, 3);
    EXPECT_EQ(copy.Filters, kAllFilters);
    EXPECT_EQ(copy.Chunks().Count(), source.Chunks().Count());
    EXPECT_EQ(RgbaPixels(copy), RgbaPixels(source));
    EXPECT_EQ(copy.TransparencyMode(), TPNGTransparencyMode::ptmPartial);
    EXPECT_EQ(SavePng(copy), SavePng(source));
}

TEST(PngPicture, RegisteredAsThePictureFormatForPng)
{
    TGraphicFactory factory = GraphicFactoryForExtension("png");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(GraphicDescription("PNG"), "Portable Network Graphics");
    std::unique_ptr<TGraphic> graphic = factory();
    TMemoryStream stream;
    const std::string bytes = FixtureBytes("im-rgba8.png");
    stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    stream.SetPosition(0);
    graphic->LoadFromStream(stream);
    EXPECT_EQ(graphic->Width(), 37);
    EXPECT_EQ(graphic->Height(), 23);
    EXPECT_TRUE(graphic->Transparent());
}

}  // namespace
