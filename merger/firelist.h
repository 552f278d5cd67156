// The fire list of VELKMobile.ini: section DCConnURL holds the connection keys,
// the count Exe2Fire and the entries Exe<n>, Exe<n>TO, Exe<n>PM. The lookup
// hands out numbers for new entries, the adder and the deleter apply the
// change requests, and the regeneration rewrites the file with the entries
// numbered 1 .. Exe2Fire.
#pragma once
#include <string>
#include <vector>

namespace zuvoze::merger {

// "TRUE,Exe<i>,Exe<i>TO,Exe<i>PM" when entry i holds these three values
// (compared without regard to letter case), "FALSE,Exe<m>,Exe<m>TO,Exe<m>PM"
// with m the next number handed out (the run's next-number counter advances to
// m), or "FALSE,-1". A slot whose three keys were removed is no entry.
std::string chkMobile(const std::string& exe, const std::string& to, const std::string& pm);

// Applies the DCConnURL requests of AddSection.ini / DeleteSection.ini to the
// fire list, counting in the run state; a failure restores Bkp_VELKMobile.ini.
void addMobile();
void deleteMobile();

// Rebuilds VELKMobile.ini through New_VELKMobile.ini and swaps it in.
void ReGenMobileFile();

// The connection keys of DCConnURL in the order the regeneration writes them.
const std::vector<std::string>& mobileConnectionKeys();

}  // namespace zuvoze::merger
