#include "tools/kxdata/sample_schema.h"

#include <array>

namespace kx::kxdata {

namespace {

using F = std::string_view;

constexpr F kItem[] = {"IITEM:C:20",     "IDESC1:C:40",   "IDESC2:C:40",    "ITYPE:C:10",
                       "ILOCATION:C:10", "IBARCODE:C:20", "IUM:C:4",        "IVENDNO:C:10",
                       "ICOST:N:12:4",   "IPRICE:N:12:2", "IONHAND:N:12:3", "IREORDER:N:10:3",
                       "ILASTSALE:D:0",  "IACTIVE:L:0"};
constexpr F kAbar[] = {"BSCANCODE:C:20", "BITEM:C:20", "BLOCATION:C:10", "BUM:C:4", "BQTY:N:10:3"};
constexpr F kAsbly[] = {"AMITEM:C:20",      "AMILOCATION:C:10", "ACITEM:C:20",
                        "ACILOCATION:C:10", "AQTY:N:10:3",      "ASEQ:I:0"};
constexpr F kCust[] = {"CCUSTNO:C:10",   "CNAME:C:40",  "CADDR1:C:40", "CCITY:C:25",
                       "CSTATE:C:2",     "CZIP:C:10",   "CPHONE:C:16", "CBALANCE:N:12:2",
                       "CLASTORDER:D:0", "CTAXABLE:L:0"};
constexpr F kLoc[] = {"LOCATION:C:10", "LDESC:C:30", "LACTIVE:L:0"};
constexpr F kPhys[] = {"PILOCATION:C:10", "PITEM:C:20", "PCOUNT:N:12:3", "PCOUNTDATE:D:0",
                       "PCOUNTEDBY:C:10"};
// 200-byte records: the memo field fills the record up to that size.
constexpr F kTran[] = {
    "TITEM:C:20",  "TDATE:D:0",    "TCODE:C:2",     "TLOCATION:C:10", "TRANSACTIONNUMBER:I:0",
    "TQTY:N:12:3", "TCOST:N:12:4", "TPRICE:N:12:2", "TCUSTNO:C:10",   "TVENDNO:C:10",
    "TREF:C:20",   "TUSER:C:10",   "TPOSTED:L:0",   "TENTERED:T:0",   "TMEMO:C:64"};
constexpr F kType[] = {"TYPE:C:10", "TDESC:C:30"};
constexpr F kUm[] = {"UUM:C:4", "UDESC:C:20", "UFACTOR:N:10:3"};
constexpr F kVend[] = {"VVENDNO:C:10", "VNAME:C:40",  "VADDR1:C:40",
                       "VCITY:C:25",   "VPHONE:C:16", "VTERMS:C:10"};

constexpr std::array<SampleTableSchema, 10> kTables = {{
    {"item", kItem},
    {"abar", kAbar},
    {"asbly", kAsbly},
    {"cust", kCust},
    {"loc", kLoc},
    {"phys", kPhys},
    {"tran", kTran},
    {"type", kType},
    {"um", kUm},
    {"vend", kVend},
}};

}  // namespace

std::span<const SampleTableSchema> SampleTables() { return kTables; }

const SampleTableSchema* FindSampleTable(std::string_view base_name) {
  for (const SampleTableSchema& table : kTables) {
    if (table.base_name == base_name) return &table;
  }
  return nullptr;
}

std::span<const rebuild::IndexTagDef> SampleTags(std::string_view base_name) {
  for (const rebuild::CatalogueEntry& entry : rebuild::kCatalogue) {
    const std::string_view file = entry.table_file;
    if (file.size() == base_name.size() + 4 && file.substr(0, base_name.size()) == base_name &&
        file.substr(base_name.size()) == ".adt") {
      return {entry.begin(), entry.end()};
    }
  }
  return {};
}

}  // namespace kx::kxdata
