#pragma once
// Resource identifiers of the card object layer's two resource modules,
// "resources\vkCobAPIrc.dll" (texts) and "resources\vkCobAPIlrc.dll"
// (localized texts).

// Reader states, as the layer shows them.
#define IDS_READER_CARD_PRESENT   100
#define IDS_READER_EMPTY          101
#define IDS_READER_UNAVAILABLE    102

// Card types.
#define IDS_CARD_TYPE_PIV         110
#define IDS_CARD_TYPE_CAC         111
#define IDS_CARD_TYPE_OTHER       112

// The language of the localized module.
#define IDS_LAYER_LANGUAGE        200

// FASC-N organizational categories "1" to "5".
#define IDS_ORG_CATEGORY_FIRST    1
// FASC-N person/organization association categories "1" to "7".
#define IDS_ASSOCIATION_FIRST     11
// Shown for a card field that could not be read.
#define IDS_FIELD_UNREADABLE      10113
// Labels of demographic tags 49 to 82: string tag + 9969.
#define IDS_DEMOGRAPHIC_LABEL_FIRST 10018
// Strings 1000-1068 (states), 2000-2238 (countries), 6000-7182 (agencies)
// and the demographic tables 10053-10112 and 10115-10790 are made from
// data/codetables/ (codetables.rc).
