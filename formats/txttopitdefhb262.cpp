#include "txttopitdefhb262.h"

namespace vvp::letter {

namespace {

void ClearPersonalPart(TDoctorRecord& doctor) {
    doctor.familyName.clear();
    doctor.givenNames.clear();
    doctor.providerNumber.clear();
    doctor.address.clear();
    doctor.email.clear();
    doctor.title.clear();
    doctor.flag = false;
}

} // namespace

void TPitFile::ClearPatient() {
    for (auto& doctor : doctors)
        ClearPersonalPart(doctor);
    ClearPersonalPart(addressee);
    smallCount = 0;

    patientSurname.clear();
    patientGivenNames.clear();
    patientTitle.clear();
    dobText.clear();
    dob = 0;
    labReference.clear();
    yourReference.clear();
    sex.clear();
    age = kResetAge;
    patientAddress.clear();
    patientText1.clear();
    patientText2.clear();
    medicareNumber.clear();
    patientPhone.clear();
    patientNumber = 0;

    body.clear();
    copyTo.clear();
    requestedDateText.clear();
    collectedDateText.clear();
    messageDateText.clear();
}

void TPitFile::Clear() {
    *this = TPitFile();
}

} // namespace vvp::letter
