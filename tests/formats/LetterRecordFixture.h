#pragma once

// A letter record filled as message creation fills it, shared by the writer tests.

#include "Clock.h"
#include "txttopitdefhb262.h"

namespace vvp::test {

// 5 March 2024 14:07:09.123, the moment every writer test runs at.
inline TDateTime WriterTestNow() {
    return *EncodeDateTime({2024, 3, 5, 14, 7, 9, 123});
}

inline letter::TPitFile FullLetterRecord() {
    letter::TPitFile r;
    r.practiceName = "Harbour Medical Centre";
    r.enquiriesPhone = "02 9555 0000";

    letter::TDoctorRecord sender;
    sender.familyName = "Smith";
    sender.givenNames = "John";
    sender.providerNumber = "2345678A";
    sender.address = "1 Harbour St Sydney NSW 2000";
    sender.email = "john.smith@harbour.example";
    sender.title = "Dr ";
    sender.code = "JS01";
    r.doctors[0] = sender;
    r.doctors[1] = sender;

    r.addressee.familyName = "Jones";
    r.addressee.givenNames = "Mary";
    r.addressee.providerNumber = "3456789B";
    r.addressee.title = "Prof ";
    r.addressee.email = "mary.jones@clinic.example";
    r.addressee.flag = true;

    r.patientSurname = "CITIZEN";
    r.patientGivenNames = "Jane Anne";
    r.patientTitle = "Mrs";
    r.dobText = "01/02/1950";
    r.sex = "F";
    r.labReference = "LAB42";
    r.yourReference = "YR-7";
    r.patientAddress = "12 Beach Rd\r\nBondi NSW 2026";
    r.medicareNumber = "2123456701";
    r.patientPhone = "(02) 9555 1234";
    r.messageTitle = "Referral letter";
    r.requestedDateText = "05/03/2024 09:30 ";
    r.requestedDate = *EncodeDateTime({2024, 3, 5, 9, 30, 0, 0});
    r.collectedDateText = r.requestedDateText;
    r.collectedDate = r.requestedDate;
    r.messageDateText = r.requestedDateText;
    r.messageDate = r.requestedDate;
    r.copyTo = "  Dr B Brown  ";
    r.specimen = "Referral";
    r.signatureFlag = true;
    r.body = {
        "Dear Mary,",
        "",
        "Thank you for seeing Mrs Citizen, a 74 year old woman with a three month history of exertional "
        "chest pain and breathlessness.",
        "",
        "Current medications:",
        "  Aspirin 100mg daily",
        std::string(80, '='),
        "Yours sincerely,",
        "",
        "John Smith",
    };
    return r;
}

} // namespace vvp::test
