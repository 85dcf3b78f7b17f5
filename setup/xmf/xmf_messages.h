#pragma once
// Every message of the XMF patcher: short lower-case phrases, to which callers
// add context (the arena's folder, "the injected file failed validation: ").
namespace tf::xmf {

// Reading a whole file.
inline constexpr char kMsgCannotOpen[] = "cannot open file";
inline constexpr char kMsgMissingOrTooLarge[] = "file is missing or too large";
inline constexpr char kMsgCannotRead[] = "file could not be read";

// The parser.
inline constexpr char kMsgNotXmf[] = "not an XMF container";
inline constexpr char kMsgNotVersion1[] = "only XMF v1 is supported";
inline constexpr char kMsgNoIxmfTag[] = "expected IXMF section tag";
inline constexpr char kMsgNoOxmfTag[] = "expected OXMF section tag";
inline constexpr char kMsgNoRxmfTag[] = "expected RXMF section tag";
inline constexpr char kMsgNoTxmfTag[] = "expected TXMF section tag";
inline constexpr char kMsgNoFxmfTag[] = "expected FXMF section tag";
inline constexpr char kMsgNoIdsfTag[] = "expected IDSF";
inline constexpr char kMsgFxmfNotAtEnd[] = "FXMF does not end at the end of the file";
inline constexpr char kMsgIxmfNotBare[] = "IXMF is not a bare instance array";
inline constexpr char kMsgRxmfNotBare[] = "RXMF is not a bare material array";
inline constexpr char kMsgPaletteRegion[] = "TXMF palette region is not a whole number of resources";
inline constexpr char kMsgNoObjects[] = "container has no objects";
inline constexpr char kMsgNoDeclarationArray[] = "object 0 has no usable declaration array";
inline constexpr char kMsgTailRegion[] = "OXMF VB-resource region is not a multiple of 12";

// The validator.
inline constexpr char kMsgInstanceNotOwn[] = "an instance does not point at its own object record";
inline constexpr char kMsgPartsOutsideMiddle[] = "part array outside the middle region";
inline constexpr char kMsgIbOutsideMiddle[] = "IB resource outside the middle region";
inline constexpr char kMsgDeclsOutsideMiddle[] = "decl array outside the middle region";
inline constexpr char kMsgWordsOutsideMiddle[] = "index words outside the middle region";
inline constexpr char kMsgVbNotInTail[] = "VB resource is not in the tail array";
inline constexpr char kMsgVbDataPastFxmf[] = "VB data past FXMF";
inline constexpr char kMsgPartDeclarationOutside[] = "part declaration outside this object's array";
inline constexpr char kMsgPartMaterial[] = "part material is not a material record";
inline constexpr char kMsgPartIndexRange[] = "part index range runs past the middle region";
inline constexpr char kMsgMaterialSlot[] = "material slot is not a TXMF record";
inline constexpr char kMsgHeaderOutsideRegion[] = "texture header outside the header region";
inline constexpr char kMsgPixelsPastFxmf[] = "texture pixels past FXMF";
inline constexpr char kMsgPaletteOutsideRegion[] = "palette outside the palette region";
inline constexpr char kMsgPaletteDataPastFxmf[] = "palette data past FXMF";

// Records that a file offset would place outside their section.
inline constexpr char kMsgObjectZeroOutside[] = "object record 0 lies outside OXMF";
inline constexpr char kMsgTextureRecordOutside[] = "a texture record lies outside TXMF";
inline constexpr char kMsgInstanceOutside[] = "an instance record lies outside IXMF";
inline constexpr char kMsgObjectOutside[] = "an object record lies outside OXMF";
inline constexpr char kMsgPartOutside[] = "a part record lies outside OXMF";
inline constexpr char kMsgDeclarationOutside[] = "a declaration record lies outside OXMF";
inline constexpr char kMsgIbOutside[] = "an IB resource lies outside OXMF";
inline constexpr char kMsgIndexWordsOutside[] = "the index words lie outside OXMF";
inline constexpr char kMsgVbOutside[] = "a VB resource lies outside OXMF";
inline constexpr char kMsgMaterialOutside[] = "a material record lies outside RXMF";
inline constexpr char kMsgHeaderOutside[] = "a texture header lies outside TXMF";
inline constexpr char kMsgPaletteOutside[] = "a palette resource lies outside TXMF";
inline constexpr char kMsgFxmfResourceOutside[] = "an FXMF resource lies outside FXMF";
inline constexpr char kMsgWindowBeforeFxmf[] = "a vertex window starts before FXMF";
inline constexpr char kMsgPointerSiteOutside[] = "a pointer site lies outside OXMF";

// The extraction.
inline constexpr char kMsgNoSuchObject[] = "the source container has no object with that name";
inline constexpr char kMsgInstanceMismatch[] = "instance does not point at its own object record";
inline constexpr char kMsgSkinned[] = "skinned objects are not supported";
inline constexpr char kMsgNoPartsOrDeclarations[] = "object has no parts or no vertex declarations";
inline constexpr char kMsgForeignDescriptor[] = "a part uses a descriptor outside the object array";
inline constexpr char kMsgNonIndexed[] = "non-indexed parts are not supported";
inline constexpr char kMsgNoIndexWords[] = "the object references no index words";
inline constexpr char kMsgPartWithoutIndices[] = "a part has no indices";
inline constexpr char kMsgIndexRangePastBuffer[] = "a part's index range runs past the buffer";
inline constexpr char kMsgZeroStride[] = "vertex declaration has zero stride";
inline constexpr char kMsgWindowPastEnd[] = "vertex window runs past the end of the file";
inline constexpr char kMsgNegativeBaseVertex[] = "rebased BaseVertexIndex would be negative";
inline constexpr char kMsgUnknownFxmfOffset[] = "an FXMF offset is not a known resource";
inline constexpr char kMsgObjectTooLarge[] = "the object's data is too large to copy";

// The injection.
inline constexpr char kMsgNameNotFourCharacters[] = "the new name must be exactly 4 characters";
inline constexpr char kMsgTailNotAtEnd[] = "unexpected OXMF layout: the VB-resource array is not at the tail";
inline constexpr char kMsgIncomplete[] = "the extracted object is incomplete";
inline constexpr char kMsgResultTooLarge[] = "the injected file would be too large";

// The arena transaction and walk.
inline constexpr char kMsgReparsePrefix[] = "the injected file failed to re-parse: ";
inline constexpr char kMsgValidationPrefix[] = "the injected file failed validation: ";
inline constexpr char kMsgNotInResult[] = "the injected object is not present in the result";
inline constexpr char kMsgCannotWrite[] = "cannot write file";
inline constexpr char kMsgWriteFailed[] = "file could not be written";
inline constexpr char kMsgCannotReplace[] = "could not replace the arena file";
inline constexpr char kMsgArenaMissing[] = "file is missing";

inline constexpr char kMsgNoMemory[] = "not enough memory";

}  // namespace tf::xmf
