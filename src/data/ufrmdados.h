#pragma once

#include "data/database.h"

#include <QDate>
#include <QObject>

// The registration window's day picker, as the shared data module's voting-day
// handlers reach it. The window installs its picker while it is open and removes
// it when it closes, so the data module needs no widget of its own.
class SeletorDeDia
{
public:
    virtual ~SeletorDeDia() = default;
    virtual QDate dia() const = 0;
    // Changes only the date; the time of day stays midnight.
    virtual void defineDia(const QDate &dia) = 0;
};

// The shared data module: holds the one connection every query of the program uses.
class Tfrmdados : public QObject
{
    Q_OBJECT
public:
    explicit Tfrmdados(QObject *owner);

    // The open registration window's day picker; null while no window is open.
    SeletorDeDia *seletorDia() const { return m_seletorDia; }
    void instalaSeletorDia(SeletorDeDia *seletor) { m_seletorDia = seletor; }

    Database conexaoDB;

private:
    SeletorDeDia *m_seletorDia = nullptr;
};

// Created by conecta_banco, owned by the application; never more than one.
extern Tfrmdados *frmdados;
